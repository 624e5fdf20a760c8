#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>

namespace quibra::test {

// One TCP connection to a test server that the test drives byte by byte, as an
// unfriendly client would: half a request, a body that trickles, or nothing.
// With TLS (Tls) the handshake is done first; the certificate is not checked.
class RawConnection {
public:
    using Clock = std::chrono::steady_clock;

    RawConnection() = default;
    ~RawConnection() {
        if (m_ssl != nullptr) SSL_free(m_ssl);
        if (m_fd >= 0) ::close(m_fd);
    }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    // Connects to the port of `url` on 127.0.0.1; false when refused.
    bool Connect(const std::string& url) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(std::stoi(url.substr(url.rfind(':') + 1))));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_openedAt = Clock::now();
        return ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    // Completes a TLS handshake on the connection, offering to resume
    // `session` when given; false when it fails.
    bool Tls(SSL_CTX* context, SSL_SESSION* session = nullptr) {
        m_ssl = SSL_new(context);
        SSL_set_fd(m_ssl, m_fd);
        if (session != nullptr) SSL_set_session(m_ssl, session);
        return SSL_connect(m_ssl) == 1;
    }
    SSL* Ssl() const { return m_ssl; }
    // Sends all of `bytes` (through TLS after Tls); false when the peer is gone.
    bool Send(const std::string& bytes) {
        if (m_ssl != nullptr)
            return SSL_write(m_ssl, bytes.data(), static_cast<int>(bytes.size())) ==
                   static_cast<int>(bytes.size());
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }
    // Reads what the server sends until it closes the connection or `limit`
    // passes; true when it closed.
    bool ReadUntilClosed(std::chrono::milliseconds limit, std::string* received = nullptr) {
        const auto until = Clock::now() + limit;
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            if (m_ssl == nullptr || SSL_pending(m_ssl) == 0) {
                pollfd ready{m_fd, POLLIN, 0};
                if (left <= 0 || ::poll(&ready, 1, static_cast<int>(left)) <= 0) return false;
            }
            char buffer[16384];
            const int n = m_ssl != nullptr
                              ? SSL_read(m_ssl, buffer, sizeof buffer)
                              : static_cast<int>(::recv(m_fd, buffer, sizeof buffer, 0));
            if (n <= 0) {
                // A TLS record not yet complete: wait for the rest.
                if (m_ssl != nullptr && SSL_get_error(m_ssl, n) == SSL_ERROR_WANT_READ) continue;
                return true;
            }
            if (received != nullptr) received->append(buffer, static_cast<std::size_t>(n));
        }
    }

    int Fd() const { return m_fd; }
    Clock::time_point OpenedAt() const { return m_openedAt; }

    // A client context for Tls, shared by the connections of one test.
    static std::shared_ptr<SSL_CTX> ClientContext() {
        return std::shared_ptr<SSL_CTX>(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
    }

private:
    int m_fd = -1;
    SSL* m_ssl = nullptr;
    Clock::time_point m_openedAt;
};

}  // namespace quibra::test
