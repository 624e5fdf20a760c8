#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "Metrics.h"

namespace quibra::pollserver {

// Keeps every open connection of all listeners on a clock, so no slow or idle
// client holds the server: a connection must deliver its request head within
// the head limit (counted from the accept, so a TLS handshake that never ends
// is caught too, or from the end of its previous reply) and its body within
// the body limit; while a request is being answered no limit runs. A watcher
// thread shuts down the socket of a connection past its limit, and the event
// loop that owns it then closes it. Past the connection bound a new connection
// is shut down at once instead of waiting.
//
// The event threads call Opened, Closed and the phase changes; Opened and
// Closed take a short lock, the phase changes only store a deadline. The
// connection gauges and the refusals by bound are counted here, in Metrics.
class ConnectionGuard {
public:
    using Clock = std::chrono::steady_clock;

    // One open connection; owned by the guard between Opened and Closed.
    struct Entry {
        int fd = -1;
        std::atomic<std::int64_t> deadline{0};  // Clock ticks; 0: no limit running
        std::size_t listener = 0;               // Metrics' slot of its listener
        std::atomic<bool> idle{true};           // waiting for a request head
        std::atomic<bool> inBody{false};        // the running limit is the body's
    };

    ConnectionGuard(std::chrono::seconds headLimit, std::chrono::seconds bodyLimit,
                    std::size_t maxConnections);
    ~ConnectionGuard();
    ConnectionGuard(const ConnectionGuard&) = delete;
    ConnectionGuard& operator=(const ConnectionGuard&) = delete;

    // The listener on local port `port` is counted as `name` ("http", "https");
    // connections on other ports count under the first name given.
    void NameListener(int port, const std::string& name);
    // A new connection: its entry, with the head limit running. Past the bound
    // its socket is shut down at once (the entry is still returned, to be Closed).
    Entry* Opened(int fd);
    // Called before the socket is closed, so the watcher never touches a reused fd.
    void Closed(Entry* entry);

    void HeadReceived(Entry& entry, bool bodyFollows) const {
        entry.inBody = bodyFollows;
        entry.deadline = bodyFollows ? Deadline(m_bodyLimit) : 0;
        if (entry.idle.exchange(false)) Metrics::Global().ConnectionIdle(false);
    }
    void Answering(Entry& entry) const { entry.deadline = 0; }
    void ReplySent(Entry& entry) const {
        entry.inBody = false;
        entry.deadline = Deadline(m_headLimit);
        if (!entry.idle.exchange(true)) Metrics::Global().ConnectionIdle(true);
    }

    std::size_t OpenCount() const;

private:
    static std::int64_t Deadline(Clock::duration limit) {
        return (Clock::now() + limit).time_since_epoch().count();
    }
    void Watch();

    const Clock::duration m_headLimit;
    const Clock::duration m_bodyLimit;
    const std::size_t m_maxConnections;
    mutable std::mutex m_mutex;
    std::unordered_set<Entry*> m_open;                     // guarded by m_mutex
    std::vector<std::pair<int, std::size_t>> m_listeners;  // port, slot; guarded by m_mutex
    bool m_stopping = false;                               // guarded by m_mutex
    std::condition_variable m_wake;
    std::thread m_watcher;  // last: starts once everything above exists
};

}  // namespace quibra::pollserver
