#pragma once

#include <chrono>
#include <memory>
#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace quibra::test {

// One TCP connection to a test server that the test drives byte by byte, as an
// unfriendly client would: half a request, a body that trickles, or nothing.
// With TLS (Tls) the handshake is done first; the certificate is not checked.
class RawConnection {
public:
    using Clock = std::chrono::steady_clock;

    RawConnection() = default;
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    // Connects to the port of `url` on 127.0.0.1; false when refused.
    bool Connect(const std::string& url);
    // Completes a TLS handshake on the connection; false when it fails.
    bool Tls(SSL_CTX* context);
    // Sends all of `bytes` (through TLS after Tls); false when the peer is gone.
    bool Send(const std::string& bytes);
    // Reads what the server sends until it closes the connection or `limit`
    // passes; true when it closed.
    bool ReadUntilClosed(std::chrono::milliseconds limit, std::string* received = nullptr);

    int Fd() const { return m_fd; }
    Clock::time_point OpenedAt() const { return m_openedAt; }

    // A client context for Tls, shared by the connections of one test.
    static std::shared_ptr<SSL_CTX> ClientContext();

private:
    int m_fd = -1;
    SSL* m_ssl = nullptr;
    Clock::time_point m_openedAt;
};

}  // namespace quibra::test
