#include "TlsContext.h"

#include <openssl/ssl.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

namespace quibra::pollserver {

namespace {

constexpr unsigned char kSessionContext[] = "quibra-pollserver";
// A conference lasts hours; an attendee's plug-in returns every few seconds.
constexpr long kSessionSeconds = 4 * 3600;

bool Readable(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return static_cast<bool>(in);
}

bool ResumptionOff() {
    const char* value = std::getenv("QUIBRA_POLLSERVER_NO_RESUMPTION");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

}  // namespace

TlsContext::~TlsContext() {
    SSL_CTX_free(m_context);
}

bool TlsContext::Load(const std::filesystem::path& certificate, const std::filesystem::path& key,
                      std::string& reason) {
    if (!Readable(certificate) || !Readable(key)) {
        reason = "the certificate or key cannot be read";
        return false;
    }
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (context == nullptr) {
        reason = "TLS cannot be set up";
        return false;
    }
    if (SSL_CTX_use_certificate_chain_file(context, certificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(context) != 1) {
        SSL_CTX_free(context);
        reason = "the certificate or key cannot be used";
        return false;
    }
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set1_groups_list(context, "X25519:P-256:P-384");
    SSL_CTX_set_options(
        context, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_NO_COMPRESSION);
    // An idle connection keeps no read or write buffer; a reply may be
    // written in pieces from wherever its bytes are kept.
    SSL_CTX_set_mode(context, SSL_MODE_RELEASE_BUFFERS | SSL_MODE_ENABLE_PARTIAL_WRITE |
                                  SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_session_id_context(context, kSessionContext, sizeof kSessionContext - 1);
    if (ResumptionOff()) {
        SSL_CTX_set_options(context, SSL_OP_NO_TICKET);
        SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
        SSL_CTX_set_num_tickets(context, 0);
    } else {
        // Tickets keep no state here; the cache serves TLS 1.2 clients without them.
        SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_SERVER);
        SSL_CTX_sess_set_cache_size(context, 20480);
        SSL_CTX_set_timeout(context, kSessionSeconds);
        // One ticket per full handshake: a plug-in opens one connection at a time.
        SSL_CTX_set_num_tickets(context, 1);
    }
    SSL_CTX_free(m_context);
    m_context = context;
    return true;
}

SSL* TlsContext::NewConnection(int fd) const {
    SSL* ssl = SSL_new(m_context);
    if (ssl == nullptr) return nullptr;
    if (SSL_set_fd(ssl, fd) != 1) {
        SSL_free(ssl);
        return nullptr;
    }
    SSL_set_accept_state(ssl);
    return ssl;
}

}  // namespace quibra::pollserver
