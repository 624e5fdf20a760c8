#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "Metrics.h"

namespace quibra::pollserver {

// The one place where connections are counted: every accepted connection of
// every listener is admitted here or refused (closed at once: a client is
// better told now than left in a queue), and released here when it closes.
// Bounds: open connections over all listeners, and from one client address on
// one listener. Admit says which bound refused, for whoever counts refusals.
// The time limits of a connection are its event loop's: HttpConnection's
// OnDeadline is where a slow client is closed, and by which limit.
//
// The connection gauges and the refusals by bound are counted here too, in
// Metrics. An exempt listener (the operators') is neither bounded nor counted.
class ConnectionGuard {
public:
    enum class Admission { Admitted, OverTotal, OverPerAddress };

    ConnectionGuard(std::size_t maxConnections, std::size_t maxPerAddress)
        : m_maxConnections(maxConnections), m_maxPerAddress(maxPerAddress) {}
    ConnectionGuard(const ConnectionGuard&) = delete;
    ConnectionGuard& operator=(const ConnectionGuard&) = delete;

    // Before any connection: listener number `listener` is counted as `name`
    // ("http", "https"); a listener never named counts under the first name.
    void NameListener(int listener, const std::string& name);
    // Before any connection: `listener` is admitted without bounds or counts.
    void Exempt(int listener);

    // `address`: the client's address bytes (without the port). A new
    // connection is idle (waiting for a request head) until Busy.
    Admission Admit(int listener, const std::string& address);
    // Once for every Admitted connection, when it closes; `idle`: it was.
    void Release(int listener, const std::string& address, bool idle = true);
    // A request began (true) or its reply went out (false) on a connection.
    void Busy(int listener, bool busy);
    // A connection or request of `listener` turned away by `bound`.
    void Refused(int listener, Metrics::Bound bound);

    std::size_t OpenCount() const { return m_open.load(std::memory_order_relaxed); }

private:
    struct Listener {
        std::size_t slot = 0;  // Metrics' slot of its gauges
        bool named = false;
        bool exempt = false;
    };
    // Named and exempt listeners are set before the event threads start, so
    // reading them needs no lock afterwards.
    Listener& At(int listener);
    const Listener* Find(int listener) const;
    bool Counted(int listener) const;

    const std::size_t m_maxConnections;
    const std::size_t m_maxPerAddress;
    std::atomic<std::size_t> m_open{0};
    std::mutex m_mutex;
    // Open connections per listener and client address; guarded by m_mutex.
    std::vector<std::unordered_map<std::string, std::size_t>> m_perAddress;
    std::vector<Listener> m_listeners;
    std::size_t m_firstSlot = 0;
};

}  // namespace quibra::pollserver
