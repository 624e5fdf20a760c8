#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace quibra {

// Signalled when a task's thread has finished its work. Outlives the task, so a
// caller may wait on it after the task has released itself.
class TaskCompletion {
public:
    void Signal();
    // True when signalled within `limit`.
    bool WaitFor(std::chrono::milliseconds limit);

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_done = false;
};

// A thread object: Start runs Run on a new thread. After Start the object owns
// itself: either Run releases it, or whoever consumes its notice deletes it.
// Deleting it from another thread waits for the thread to end; deleting it on
// its own thread (a self-release) lets the thread finish detached.
class TaskThread {
public:
    TaskThread();
    virtual ~TaskThread();
    TaskThread(const TaskThread&) = delete;
    TaskThread& operator=(const TaskThread&) = delete;

    virtual void Run() = 0;
    // False when the thread could not be created (the caller still owns the task).
    virtual bool Start();
    // The completion signal of the thread; valid before and after the task is gone.
    virtual std::shared_ptr<TaskCompletion> GetThreadHandle() const { return m_completion; }

protected:
    // Waits for the thread unless called on it (then lets it finish detached);
    // most-derived destructors call it first, so that no member is destroyed
    // while Run may still read it.
    void WaitForThread();

private:
    // Idle, then Starting while Start creates the thread and stores its
    // handle, then Started (released once m_thread holds the thread).
    static constexpr int kIdle = 0;
    static constexpr int kStarting = 1;
    static constexpr int kStarted = 2;
    std::atomic<int> m_state{kIdle};
    std::thread m_thread;
    std::shared_ptr<TaskCompletion> m_completion;
};

}  // namespace quibra
