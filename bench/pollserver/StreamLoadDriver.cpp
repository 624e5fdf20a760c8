// pollserver_streams: many subscribers of a PollServer's event stream, plain
// or TLS (--tls 1, the certificate not checked), from one epoll thread.
//
//   fanout mode: N subscribers of --module; once each has its first frame, a
//     poll of the module is opened and closed --rounds times, one status job
//     at a time, and the time from each job's reply to its frame at every
//     subscriber is taken. Prints
//     "RESULT mode=fanout subscribers=N rounds=R p50_ms=... p99_ms=... max_ms=...".
//   idle mode: N subscribers that get their first frame, then "READY N", held
//     (reading what comes) until standard input closes.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string mode = "fanout";
    int port = 0;
    bool tls = false;
    int subscribers = 1000;
    int rounds = 20;
    std::string module = "streams";
};

struct Subscriber {
    int fd = -1;
    SSL* ssl = nullptr;
    int frames = 0;    // "id: " lines seen
    std::string tail;  // the last bytes read, so a line split over two reads is seen
    Clock::time_point arrived;
};

// A connected socket to the server; -1 when refused.
int Connect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class Driver {
public:
    explicit Driver(const Options& options)
        : m_options(options), m_tls(SSL_CTX_new(TLS_client_method()), SSL_CTX_free) {
        SSL_CTX_set_verify(m_tls.get(), SSL_VERIFY_NONE, nullptr);
    }

    int Run() {
        m_epoll = epoll_create1(EPOLL_CLOEXEC);
        const std::string request = "GET /quibra/v1/events?modulename=" + m_options.module +
                                    " HTTP/1.1\r\nHost: bench\r\n\r\n";
        for (int i = 0; i < m_options.subscribers; ++i) {
            Subscriber subscriber;
            subscriber.fd = Connect(m_options.port);
            if (subscriber.fd < 0) return Fail("connect");
            if (m_options.tls) {
                subscriber.ssl = SSL_new(m_tls.get());
                SSL_set_fd(subscriber.ssl, subscriber.fd);
                if (SSL_connect(subscriber.ssl) != 1) return Fail("handshake");
            }
            if (!Send(subscriber, request)) return Fail("request");
            ::fcntl(subscriber.fd, F_SETFL, O_NONBLOCK);
            m_subscribers.push_back(subscriber);
        }
        for (std::size_t i = 0; i < m_subscribers.size(); ++i) {
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.u64 = i;
            epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_subscribers[i].fd, &event);
        }
        if (!AllReach(1)) return Fail("first frames");
        if (m_options.mode == "idle") return Hold();

        const auto created = Job("job=CreatePolling&userid=bench&modulename=" + m_options.module +
                                 "&status=N&title=Fanout&type=S&issign=0&ispublish=0"
                                 "&itemcount=1&itemname_0=A&content_0=yes");
        const auto at = created.find("PollingId=\"");
        if (at == std::string::npos) return Fail("create");
        const std::string poll = created.substr(at + 11, created.find('"', at + 11) - at - 11);
        std::vector<double> latencies;
        for (int round = 0; round < m_options.rounds; ++round) {
            const auto reply = Job("job=UpdatePollingStatus&pollcount=1&pollid_0=" + poll +
                                   "&status_0=" + (round % 2 == 0 ? "O" : "C"));
            if (reply.find("Code=\"200\"") == std::string::npos) return Fail("status job");
            const auto replied = Clock::now();
            if (!AllReach(round + 2)) return Fail("frames");
            for (const auto& subscriber : m_subscribers)
                latencies.push_back(
                    std::chrono::duration<double, std::milli>(subscriber.arrived - replied)
                        .count());
        }
        std::sort(latencies.begin(), latencies.end());
        const auto quantile = [&](double q) {
            return latencies[std::min(latencies.size() - 1,
                                      static_cast<std::size_t>(q * latencies.size()))];
        };
        std::printf(
            "RESULT mode=fanout tls=%d subscribers=%d rounds=%d p50_ms=%.1f p99_ms=%.1f "
            "max_ms=%.1f\n",
            m_options.tls ? 1 : 0, m_options.subscribers, m_options.rounds, quantile(0.50), quantile(0.99),
            latencies.back());
        return 0;
    }

private:
    int Fail(const char* what) {
        std::fprintf(stderr, "pollserver_streams: %s failed\n", what);
        return 1;
    }

    bool Send(Subscriber& subscriber, const std::string& bytes) {
        if (subscriber.ssl != nullptr)
            return SSL_write(subscriber.ssl, bytes.data(), static_cast<int>(bytes.size())) ==
                   static_cast<int>(bytes.size());
        return ::send(subscriber.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }

    // Reads what a subscriber has; false when its stream ended.
    bool Drain(Subscriber& subscriber) {
        char buffer[16384];
        for (;;) {
            int n;
            if (subscriber.ssl != nullptr) {
                n = SSL_read(subscriber.ssl, buffer, sizeof buffer);
                if (n <= 0) return SSL_get_error(subscriber.ssl, n) == SSL_ERROR_WANT_READ;
            } else {
                n = static_cast<int>(::recv(subscriber.fd, buffer, sizeof buffer, 0));
                if (n == 0) return false;
                if (n < 0) return errno == EAGAIN;
            }
            std::string text = subscriber.tail + std::string(buffer, static_cast<std::size_t>(n));
            for (auto at = text.find("id: "); at != std::string::npos;
                 at = text.find("id: ", at + 1))
                ++subscriber.frames;
            subscriber.tail = text.substr(text.size() > 3 ? text.size() - 3 : 0);
            subscriber.arrived = Clock::now();
        }
    }

    // Waits until every subscriber has seen `frames` frames (30 s at most).
    bool AllReach(int frames) {
        const auto until = Clock::now() + std::chrono::seconds(30);
        std::size_t behind = 0;
        for (auto& subscriber : m_subscribers) behind += subscriber.frames < frames;
        epoll_event events[256];
        while (behind > 0) {
            const int n = epoll_wait(m_epoll, events, 256, 1000);
            if (Clock::now() > until) return false;
            for (int i = 0; i < n; ++i) {
                auto& subscriber = m_subscribers[events[i].data.u64];
                const bool was = subscriber.frames < frames;
                if (!Drain(subscriber)) return false;
                if (was && subscriber.frames >= frames) --behind;
            }
        }
        return true;
    }

    int Hold() {
        std::printf("READY %zu\n", m_subscribers.size());
        std::fflush(stdout);
        epoll_event in{};
        in.events = EPOLLIN;
        in.data.u64 = ~std::uint64_t{0};
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, 0, &in);
        epoll_event events[256];
        for (;;) {
            const int n = epoll_wait(m_epoll, events, 256, -1);
            for (int i = 0; i < n; ++i) {
                if (events[i].data.u64 == ~std::uint64_t{0}) return 0;  // stdin closed
                if (!Drain(m_subscribers[events[i].data.u64])) return Fail("held stream");
            }
        }
    }

    // One status job on a connection of its own; the reply's body.
    std::string Job(const std::string& form) {
        Subscriber client;
        client.fd = Connect(m_options.port);
        if (client.fd < 0) return {};
        if (m_options.tls) {
            client.ssl = SSL_new(m_tls.get());
            SSL_set_fd(client.ssl, client.fd);
            SSL_connect(client.ssl);
        }
        Send(client, "GET /wendrake-idm/v4/polling/polling.asp?" + form +
                         " HTTP/1.1\r\nHost: bench\r\nConnection: close\r\n\r\n");
        std::string reply;
        char buffer[16384];
        for (;;) {
            const int n = client.ssl != nullptr
                              ? SSL_read(client.ssl, buffer, sizeof buffer)
                              : static_cast<int>(::recv(client.fd, buffer, sizeof buffer, 0));
            if (n <= 0) break;
            reply.append(buffer, static_cast<std::size_t>(n));
            // The whole reply is in once its body ends its document.
            if (reply.find("</Wendrake>") != std::string::npos) break;
        }
        if (client.ssl != nullptr) SSL_free(client.ssl);
        ::close(client.fd);
        return reply;
    }

    const Options m_options;
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> m_tls;
    int m_epoll = -1;
    std::vector<Subscriber> m_subscribers;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--mode")
            options.mode = value;
        else if (name == "--port")
            options.port = std::atoi(value.c_str());
        else if (name == "--tls")
            options.tls = value == "1";
        else if (name == "--subscribers")
            options.subscribers = std::atoi(value.c_str());
        else if (name == "--rounds")
            options.rounds = std::atoi(value.c_str());
        else if (name == "--module")
            options.module = value;
        else
            return false;
    }
    return argc % 2 == 1 && options.port > 0 && options.subscribers > 0 && options.rounds > 0 &&
           (options.mode == "fanout" || options.mode == "idle");
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: pollserver_streams --port P [--mode fanout|idle] [--tls 0|1]\n"
                     "                          [--subscribers N] [--rounds R] [--module M]\n");
        return 2;
    }
    return Driver(options).Run();
}
