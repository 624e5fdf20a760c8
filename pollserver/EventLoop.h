#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "DeadlineList.h"

namespace quibra::pollserver {

class ConnectionGuard;
class HttpConnection;
class RequestHandler;
class TlsContext;
struct ServerOptions;

// One event thread: an epoll set holding the listening sockets (shared with
// the other loops, each connection accepted by one of them) and the
// connections this loop accepted, each for its whole life. Waits only in
// epoll_wait, so an idle connection, plain or TLS, costs no CPU; the time
// limits are lists sorted by their nature (DeadlineList), looked at once per
// wake-up. Other threads reach the loop only through Post.
class EventLoop {
public:
    // Stream: a stream's quiet time, after which it is sent its keep-alive text.
    enum class Limit { Head, Body, Send, Linger, Stream, Count };

    EventLoop(const ServerOptions& options, ConnectionGuard& guard, RequestHandler& handler);
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Before Run: accept from `fd` (listener number `listener`), with TLS when `tls` is set.
    void AddListener(int listener, int fd, const TlsContext* tls);
    // Serves until Stop, then until the requests begun are answered (a ballot
    // waiting for its commit always, others within the drain limit).
    void Run();
    // Any thread: no new connections; requests on open ones are refused with
    // 503, and streams are ended.
    void Stop();
    // Any thread: runs `task` on the event thread.
    void Post(std::function<void()> task);

    // Event thread only, for the connections:
    void Watch(int fd, HttpConnection& connection);
    void Arm(Limit limit, DeadlineList::Entry& entry) {
        m_limits[static_cast<int>(limit)].Arm(entry, m_now);
    }
    std::int64_t Now() const { return m_now; }
    const std::string& DateLine();
    std::string& ReadBuffer() { return m_readBuffer; }
    void Retire(HttpConnection& connection);
    bool Stopping() const { return m_stopping; }
    void RequestBegun() { ++m_inProgress; }
    void RequestEnded() { --m_inProgress; }
    void WaitBegun() { ++m_waiting; }
    void WaitEnded() { --m_waiting; }
    const ServerOptions& Options() const { return m_options; }
    ConnectionGuard& Guard() { return m_guard; }
    RequestHandler& Handler() { return m_handler; }

private:
    struct Listener {
        int number;
        int fd;
        const TlsContext* tls;
    };
    void Accept(const Listener& listener);
    void RunPosted();
    void Tick();
    int WaitMs() const;

    const ServerOptions& m_options;
    ConnectionGuard& m_guard;
    RequestHandler& m_handler;
    int m_epoll = -1;
    int m_wake = -1;  // eventfd: posted tasks wait
    std::vector<Listener> m_listeners;
    std::unordered_set<HttpConnection*> m_connections;
    std::vector<HttpConnection*> m_retired;  // closed, deleted after the events at hand
    std::array<DeadlineList, static_cast<int>(Limit::Count)> m_limits;
    std::int64_t m_now = 0;  // milliseconds of the monotonic clock, at the last wake-up
    std::int64_t m_dateSecond = -1;
    std::string m_date;
    std::string m_readBuffer;
    int m_inProgress = 0;  // requests whose head is in and whose reply is not out
    int m_waiting = 0;     // of them, replies promised by another thread
    bool m_stopping = false;
    std::int64_t m_drainUntil = 0;

    std::mutex m_postMutex;
    std::vector<std::function<void()>> m_posted;  // guarded by m_postMutex
};

}  // namespace quibra::pollserver
