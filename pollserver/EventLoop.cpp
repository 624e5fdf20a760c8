#include "EventLoop.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <stdexcept>

#include "ConnectionGuard.h"
#include "HttpConnection.h"
#include "ServerOptions.h"
#include "TlsContext.h"

namespace quibra::pollserver {

namespace {

// epoll tags below any pointer: the wake-up, then the listeners.
constexpr std::uint64_t kWakeTag = 1;
constexpr std::uint64_t kFirstListenerTag = 2;
constexpr std::uint64_t kLastTag = 4095;
// How long a stop waits for requests already begun before it closes their connections.
constexpr std::int64_t kDrainMs = 5000;
// A refused client's remaining bytes are read and dropped while they keep coming this often.
constexpr std::int64_t kLingerMs = 500;
// Connections one wake-up accepts before serving the others.
constexpr int kAcceptBatch = 64;
constexpr std::size_t kReadBuffer = 16384;

std::int64_t MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The client's address without its port: connections are bounded per address.
std::string AddressBytes(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
        return std::string(reinterpret_cast<const char*>(&in6.sin6_addr), sizeof in6.sin6_addr);
    }
    const auto& in4 = reinterpret_cast<const sockaddr_in&>(address);
    return std::string(reinterpret_cast<const char*>(&in4.sin_addr), sizeof in4.sin_addr);
}

}  // namespace

EventLoop::EventLoop(const ServerOptions& options, ConnectionGuard& guard, RequestHandler& handler)
    : m_options(options), m_guard(guard), m_handler(handler) {
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_epoll < 0 || m_wake < 0) {
        if (m_epoll >= 0) ::close(m_epoll);
        if (m_wake >= 0) ::close(m_wake);
        throw std::runtime_error("cannot set up an event loop");
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kWakeTag;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &event);
    m_limits[static_cast<int>(Limit::Head)].SetDuration(std::int64_t{options.headTimeout} * 1000);
    m_limits[static_cast<int>(Limit::Body)].SetDuration(std::int64_t{options.bodyTimeout} * 1000);
    m_limits[static_cast<int>(Limit::Send)].SetDuration(std::int64_t{options.bodyTimeout} * 1000);
    m_limits[static_cast<int>(Limit::Linger)].SetDuration(kLingerMs);
    m_limits[static_cast<int>(Limit::Stream)].SetDuration(std::int64_t{options.streamKeepAlive} *
                                                          1000);
    m_readBuffer.resize(kReadBuffer);
    m_now = MonotonicMs();
}

EventLoop::~EventLoop() {
    for (HttpConnection* connection : m_connections) delete connection;
    ::close(m_wake);
    ::close(m_epoll);
}

void EventLoop::AddListener(int listener, int fd, const TlsContext* tls) {
    m_listeners.push_back({listener, fd, tls});
    epoll_event event{};
    // Each new connection wakes one of the loops, not all of them.
    event.events = EPOLLIN | EPOLLEXCLUSIVE;
    event.data.u64 = kFirstListenerTag + m_listeners.size() - 1;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
}

void EventLoop::Watch(int fd, HttpConnection& connection) {
    epoll_event event{};
    // Edge-triggered, both ways, once for the connection's life: no epoll_ctl per request.
    event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    event.data.ptr = &connection;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
}

void EventLoop::Accept(const Listener& listener) {
    for (int i = 0; i < kAcceptBatch && !m_stopping; ++i) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        const int fd = ::accept4(listener.fd, reinterpret_cast<sockaddr*>(&address), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;  // EAGAIN, or out of descriptors: the next wake-up tries again
        }
        auto client = AddressBytes(address);
        if (m_guard.Admit(listener.number, client) != ConnectionGuard::Admission::Admitted) {
            ::close(fd);
            continue;
        }
        // Small replies go out at once rather than waiting for an acknowledgement.
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        SSL* ssl = nullptr;
        if (listener.tls != nullptr && (ssl = listener.tls->NewConnection(fd)) == nullptr) {
            m_guard.Release(listener.number, client);
            ::close(fd);
            continue;
        }
        auto* connection = new HttpConnection(*this, fd, ssl, listener.number, std::move(client));
        m_connections.insert(connection);
        connection->Start();
    }
}

void EventLoop::Retire(HttpConnection& connection) {
    m_retired.push_back(&connection);
}

void EventLoop::Post(std::function<void()> task) {
    bool wake = false;
    {
        std::lock_guard lock(m_postMutex);
        wake = m_posted.empty();
        m_posted.push_back(std::move(task));
    }
    // One write wakes the loop for every task posted before it looks.
    if (wake) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_wake, &one, sizeof one);
    }
}

void EventLoop::Stop() {
    Post([this] {
        if (m_stopping) return;
        m_stopping = true;
        m_drainUntil = m_now + kDrainMs;
        for (const auto& listener : m_listeners)
            epoll_ctl(m_epoll, EPOLL_CTL_DEL, listener.fd, nullptr);
        for (HttpConnection* connection : m_connections) connection->EndStream();
    });
}

void EventLoop::RunPosted() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto read = ::read(m_wake, &count, sizeof count);
    std::vector<std::function<void()>> tasks;
    {
        std::lock_guard lock(m_postMutex);
        tasks.swap(m_posted);
    }
    for (auto& task : tasks) task();
}

const std::string& EventLoop::DateLine() {
    const std::time_t second = std::time(nullptr);
    if (second != m_dateSecond) {
        // Formatted by hand: protocol text never goes through the locale.
        static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        std::tm utc{};
        gmtime_r(&second, &utc);
        char line[64];
        std::snprintf(line, sizeof line, "Date: %s, %02d %s %04d %02d:%02d:%02d GMT\r\n",
                      kDays[utc.tm_wday], utc.tm_mday, kMonths[utc.tm_mon], utc.tm_year + 1900,
                      utc.tm_hour, utc.tm_min, utc.tm_sec);
        m_date = line;
        m_dateSecond = second;
    }
    return m_date;
}

int EventLoop::WaitMs() const {
    std::int64_t next = -1;
    for (const auto& list : m_limits) {
        const auto due = list.NextDue();
        if (due >= 0 && (next < 0 || due < next)) next = due;
    }
    if (m_stopping && (next < 0 || m_drainUntil < next)) next = m_drainUntil;
    if (next < 0) return -1;
    // The coarse clock may lag by a tick: never wait less than a millisecond past the due time.
    return static_cast<int>(std::clamp<std::int64_t>(next - m_now + 1, 0, 60000));
}

void EventLoop::Tick() {
    m_now = MonotonicMs();
    for (auto& list : m_limits) list.Expire(m_now);
}

void EventLoop::Run() {
    constexpr int kEvents = 256;
    epoll_event events[kEvents];
    for (;;) {
        const int n = epoll_wait(m_epoll, events, kEvents, WaitMs());
        m_now = MonotonicMs();
        for (int i = 0; i < n; ++i) {
            const std::uint64_t tag = events[i].data.u64;
            if (tag == kWakeTag) {
                RunPosted();
            } else if (tag <= kLastTag) {
                if (!m_stopping) Accept(m_listeners[tag - kFirstListenerTag]);
            } else {
                static_cast<HttpConnection*>(events[i].data.ptr)->OnEvents(events[i].events);
            }
        }
        Tick();
        for (HttpConnection* connection : m_retired) {
            m_connections.erase(connection);
            delete connection;
        }
        m_retired.clear();
        if (m_stopping && m_waiting == 0 && (m_inProgress == 0 || m_now >= m_drainUntil)) break;
    }
    for (HttpConnection* connection : m_connections) connection->Close();
    for (HttpConnection* connection : m_connections) delete connection;
    m_connections.clear();
    m_retired.clear();
}

}  // namespace quibra::pollserver
