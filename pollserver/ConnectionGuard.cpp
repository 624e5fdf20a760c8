#include "ConnectionGuard.h"

#include <sys/socket.h>

namespace quibra::pollserver {

namespace {

// How often the watcher looks; a limit is enforced this much late at most.
constexpr auto kWatchInterval = std::chrono::milliseconds(100);

}  // namespace

ConnectionGuard::ConnectionGuard(std::chrono::seconds headLimit, std::chrono::seconds bodyLimit,
                                 std::size_t maxConnections)
    : m_headLimit(headLimit),
      m_bodyLimit(bodyLimit),
      m_maxConnections(maxConnections),
      m_watcher([this] { Watch(); }) {}

ConnectionGuard::~ConnectionGuard() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_watcher.join();
    for (Entry* entry : m_open) delete entry;
}

ConnectionGuard::Entry* ConnectionGuard::Opened(int fd) {
    auto entry = new Entry;
    entry->fd = fd;
    entry->deadline = Deadline(m_headLimit);
    std::lock_guard lock(m_mutex);
    if (m_open.size() >= m_maxConnections) {
        // Closed at once: a client is better told now than left in a queue.
        entry->deadline = 0;
        ::shutdown(fd, SHUT_RDWR);
    }
    m_open.insert(entry);
    return entry;
}

void ConnectionGuard::Closed(Entry* entry) {
    if (entry == nullptr) return;
    {
        std::lock_guard lock(m_mutex);
        m_open.erase(entry);
    }
    delete entry;
}

std::size_t ConnectionGuard::OpenCount() const {
    std::lock_guard lock(m_mutex);
    return m_open.size();
}

void ConnectionGuard::Watch() {
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, kWatchInterval, [this] { return m_stopping; })) {
        const auto now = Clock::now().time_since_epoch().count();
        for (Entry* entry : m_open) {
            auto deadline = entry->deadline.load(std::memory_order_relaxed);
            if (deadline == 0 || deadline > now) continue;
            // Not when the connection moved on meanwhile (its request began to be answered).
            // The fd is still this connection's: Closed runs before the close, under the lock.
            if (entry->deadline.compare_exchange_strong(deadline, 0))
                ::shutdown(entry->fd, SHUT_RDWR);
        }
    }
}

}  // namespace quibra::pollserver
