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

TaskThread::~TaskThread() { WaitForThread(); }

bool TaskThread::Start() {
    try {
        // Run may delete this object, so it must not begin before the thread
        // handle is stored; afterwards only the shared signal is touched. The
        // handle is stored a moment after the thread exists, so the new thread
        // spins briefly on the flag instead of sleeping on a lock held by Start.
        m_thread = std::thread([this, completion = m_completion] {
            m_handleStored.wait(false, std::memory_order_acquire);
            Run();
            completion->Signal();
        });
        m_handleStored.store(true, std::memory_order_release);
        m_handleStored.notify_one();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void TaskThread::WaitForThread() {
    if (!m_thread.joinable()) return;
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach();
    else
        m_thread.join();
}

}  // namespace quibra
