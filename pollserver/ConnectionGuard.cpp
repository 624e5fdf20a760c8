#include "ConnectionGuard.h"

#include <netinet/in.h>
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

void ConnectionGuard::NameListener(int port, const std::string& name) {
    const auto slot = Metrics::Global().ListenerSlot(name);
    std::lock_guard lock(m_mutex);
    m_listeners.emplace_back(port, slot);
}

ConnectionGuard::Entry* ConnectionGuard::Opened(int fd) {
    auto entry = new Entry;
    entry->fd = fd;
    entry->deadline = Deadline(m_headLimit);
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    int port = -1;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0)
        port = ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(local).sin6_port
                                                 : reinterpret_cast<sockaddr_in&>(local).sin_port);
    auto& metrics = Metrics::Global();
    std::lock_guard lock(m_mutex);
    if (!m_listeners.empty()) entry->listener = m_listeners.front().second;
    for (const auto& [listenerPort, slot] : m_listeners)
        if (listenerPort == port) entry->listener = slot;
    metrics.ConnectionOpened(entry->listener);
    metrics.ConnectionIdle(true);
    if (m_open.size() >= m_maxConnections) {
        // Closed at once: a client is better told now than left in a queue.
        entry->deadline = 0;
        ::shutdown(fd, SHUT_RDWR);
        metrics.Refused(Metrics::Bound::MaxConnections);
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
    Metrics::Global().ConnectionClosed(entry->listener);
    if (entry->idle) Metrics::Global().ConnectionIdle(false);
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
            if (entry->deadline.compare_exchange_strong(deadline, 0)) {
                ::shutdown(entry->fd, SHUT_RDWR);
                Metrics::Global().Refused(entry->inBody ? Metrics::Bound::BodyTimeout
                                                        : Metrics::Bound::HeadTimeout);
            }
        }
    }
}

}  // namespace quibra::pollserver
