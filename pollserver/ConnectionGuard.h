#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace quibra::pollserver {

// The one place where connections are counted: every accepted connection of
// every listener is admitted here or refused (closed at once: a client is
// better told now than left in a queue), and released here when it closes.
// Bounds: open connections over all listeners, and from one client address on
// one listener. Admit says which bound refused, for whoever counts refusals.
// The time limits of a connection are its event loop's: HttpConnection's
// OnDeadline is where a slow client is closed, and by which limit.
class ConnectionGuard {
public:
    enum class Admission { Admitted, OverTotal, OverPerAddress };

    ConnectionGuard(std::size_t maxConnections, std::size_t maxPerAddress)
        : m_maxConnections(maxConnections), m_maxPerAddress(maxPerAddress) {}
    ConnectionGuard(const ConnectionGuard&) = delete;
    ConnectionGuard& operator=(const ConnectionGuard&) = delete;

    // `address`: the client's address bytes (without the port).
    Admission Admit(int listener, const std::string& address);
    // Once for every Admitted connection, when it closes.
    void Release(int listener, const std::string& address);

    std::size_t OpenCount() const { return m_open.load(std::memory_order_relaxed); }

private:
    const std::size_t m_maxConnections;
    const std::size_t m_maxPerAddress;
    std::atomic<std::size_t> m_open{0};
    std::mutex m_mutex;
    // Open connections per listener and client address; guarded by m_mutex.
    std::vector<std::unordered_map<std::string, std::size_t>> m_perAddress;
};

}  // namespace quibra::pollserver
