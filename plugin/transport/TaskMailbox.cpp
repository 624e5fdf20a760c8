#include "transport/TaskMailbox.h"

namespace quibra {

TaskMailbox::TaskMailbox(Deliver deliver) : m_deliver(std::move(deliver)) {}

bool TaskMailbox::Post(std::unique_ptr<TaskNotice> notice) {
    {
        std::lock_guard lock(m_mutex);
        if (m_deliver) {
            m_deliver(std::move(notice));
            return true;
        }
    }
    notice.reset();  // freed outside the lock: it takes its task with it
    return false;
}

void TaskMailbox::Close() {
    Deliver dropped;
    std::lock_guard lock(m_mutex);
    dropped.swap(m_deliver);
}

void TaskMailbox::Synchronise() const {
    std::lock_guard lock(m_mutex);
}

bool TaskMailbox::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return static_cast<bool>(m_deliver);
}

}  // namespace quibra
