#pragma once

#include <filesystem>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace quibra::pollserver {

// The server side of TLS for every HTTPS connection, through OpenSSL: set for
// many short visitors. TLS 1.2 and 1.3, X25519 offered first, session tickets
// and a session cache so a visitor's later connections resume rather than redo
// the handshake, and buffers released while a connection idles.
// Resumption can be turned off for a benchmark of full handshakes with
// QUIBRA_POLLSERVER_NO_RESUMPTION=1 in the environment.
class TlsContext {
public:
    TlsContext() = default;
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    // Loads the PEM certificate (with its chain) and key; false with a reason.
    bool Load(const std::filesystem::path& certificate, const std::filesystem::path& key,
              std::string& reason);
    // A new server-side connection object on `fd`, or null.
    SSL* NewConnection(int fd) const;

private:
    SSL_CTX* m_context = nullptr;
};

}  // namespace quibra::pollserver
