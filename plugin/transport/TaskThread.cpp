#include "transport/TaskThread.h"

#include <system_error>

namespace quibra {

void TaskCompletion::Signal() {
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_cv.notify_all();
}

bool TaskCompletion::WaitFor(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, limit, [this] { return m_done; });
}

TaskThread::TaskThread() : m_completion(std::make_shared<TaskCompletion>()) {}

TaskThread::~TaskThread() {
    WaitForThread();
}

bool TaskThread::Start() {
    m_state.store(kStarting, std::memory_order_relaxed);
    try {
        m_thread = std::thread([this, completion = m_completion] {
            Run();  // may delete this object; afterwards only the shared signal is touched
            completion->Signal();
        });
    } catch (const std::system_error&) {
        m_state.store(kIdle, std::memory_order_relaxed);
        return false;
    }
    // The last touch of this object by Start: from here a finished thread may free it.
    m_state.store(kStarted, std::memory_order_release);
    return true;
}

void TaskThread::WaitForThread() {
    // Start stores the handle a moment after the thread exists. A task freed
    // before that (it finished at once and released itself) waits for it here;
    // in practice the handle is long stored, so the thread itself never waits.
    while (m_state.load(std::memory_order_acquire) == kStarting) std::this_thread::yield();
    if (!m_thread.joinable()) return;
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach();
    else
        m_thread.join();
}

}  // namespace quibra
