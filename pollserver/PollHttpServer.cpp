#include "PollHttpServer.h"

#include <gnutls/gnutls.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "FormFields.h"
#include "Metrics.h"
#include "OpsEndpoint.h"
#include "PollService.h"
#include "ServerOptions.h"

namespace quibra::pollserver {

namespace {

constexpr const char* kXmlType = "text/xml; charset=UTF-8";
// How long a stop waits for requests already begun before it closes their connections.
constexpr auto kDrainLimit = std::chrono::seconds(5);

struct ResponseFree {
    void operator()(MHD_Response* response) const { MHD_destroy_response(response); }
};

// Queues one reply. `close` ends the connection after it: a request refused on
// its head is not read any further.
bool Queue(MHD_Connection* connection, int status, const std::string& body, const char* type,
           bool close) {
    std::unique_ptr<MHD_Response, ResponseFree> response(MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY));
    if (!response) return false;
    MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONTENT_TYPE, type);
    MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    if (close) MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONNECTION, "close");
    return MHD_queue_response(connection, static_cast<unsigned>(status), response.get()) == MHD_YES;
}

bool QueueReply(MHD_Connection* connection, const PollService::Reply& reply, bool close = false) {
    return Queue(connection, reply.status, reply.body, kXmlType, close);
}

// A reply that must not fail even when building the XML document does.
bool QueueError(MHD_Connection* connection, int status, const char* message, bool close) {
    try {
        return QueueReply(connection, PollService::Error(status, message), close);
    } catch (...) {
        return Queue(connection, status, message, "text/plain; charset=UTF-8", close);
    }
}

ConnectionGuard::Entry* EntryOf(MHD_Connection* connection) {
    const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info != nullptr ? static_cast<ConnectionGuard::Entry*>(info->socket_context) : nullptr;
}

bool ReadFile(const std::filesystem::path& file, std::string& text) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return static_cast<bool>(in) || in.eof();
}

// True when GnuTLS takes the PEM pair (the library would only say "no" later).
bool UsableKeyPair(const std::string& certificate, const std::string& key) {
    gnutls_certificate_credentials_t credentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&credentials) != GNUTLS_E_SUCCESS) return false;
    const gnutls_datum_t cert{
        reinterpret_cast<unsigned char*>(const_cast<char*>(certificate.data())),
        static_cast<unsigned>(certificate.size())};
    const gnutls_datum_t pem{reinterpret_cast<unsigned char*>(const_cast<char*>(key.data())),
                             static_cast<unsigned>(key.size())};
    const int rc =
        gnutls_certificate_set_x509_key_mem(credentials, &cert, &pem, GNUTLS_X509_FMT_PEM);
    gnutls_certificate_free_credentials(credentials);
    return rc >= 0;
}

// A listening socket with a full-size accept queue: every plug-in request is a
// new connection, and a room voting at once must not overflow a short queue
// (a dropped SYN costs its client a second or more). -1 with a reason.
int Listen(const std::string& host, int port, int& boundPort, std::string& reason) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        reason = "cannot resolve " + host;
        return -1;
    }
    int fd = -1;
    for (addrinfo* at = found; at != nullptr && fd < 0; at = at->ai_next) {
        fd = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                      at->ai_protocol);
        if (fd < 0) continue;
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, at->ai_addr, at->ai_addrlen) != 0 || ::listen(fd, SOMAXCONN) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd < 0) {
        reason = "cannot bind " + host + ":" + std::to_string(port);
        return -1;
    }
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    boundPort =
        ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                                            : reinterpret_cast<sockaddr_in&>(address).sin_port);
    return fd;
}

// Routes and fields are read from the raw target; the library's own decoding
// of the path and the arguments is not wanted.
size_t KeepEscaped(void*, MHD_Connection*, char* text) {
    return std::strlen(text);
}

std::optional<std::uint64_t> ContentLength(MHD_Connection* connection) {
    const char* value =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (value == nullptr) return std::nullopt;
    const auto number = FormFields::ParseNumber(value, 0, INT64_MAX);
    return number ? std::optional<std::uint64_t>(static_cast<std::uint64_t>(*number))
                  : std::nullopt;
}

}  // namespace

struct PollHttpServer::Listener {
    MHD_Daemon* daemon = nullptr;
    int listenFd = -1;  // the library's until a stop hands it back
    std::string url;
    std::string certificate;  // PEM texts the library reads from for its whole life
    std::string key;
};

struct PollHttpServer::Request {
    std::string target;  // "/path?query", exactly as sent
    std::string body;
    bool headSeen = false;
    bool answered = false;  // a reply is queued; the rest of the request is ignored
    bool waiting = false;   // suspended until the store has the ballot's outcome
    std::mutex laterMutex;
    std::optional<PollService::Reply> later;  // guarded by laterMutex
};

struct PollHttpServer::Callbacks {
    static void* RequestLine(void*, const char* uri, MHD_Connection*) {
        auto request = std::make_unique<PollHttpServer::Request>();
        request->target = uri;
        return request.release();
    }

    static MHD_Result Handle(void* self, MHD_Connection* connection, const char*,
                             const char* method, const char*, const char* uploadData,
                             size_t* uploadSize, void** context) {
        if (*context == nullptr) *context = new PollHttpServer::Request;
        try {
            return static_cast<PollHttpServer*>(self)->Answer(
                       connection, method, uploadData, uploadSize,
                       *static_cast<PollHttpServer::Request*>(*context))
                       ? MHD_YES
                       : MHD_NO;
        } catch (...) {
            return MHD_NO;
        }
    }

    static void Completed(void* self, MHD_Connection* connection, void** context,
                          MHD_RequestTerminationCode) {
        auto* server = static_cast<PollHttpServer*>(self);
        auto* request = static_cast<PollHttpServer::Request*>(*context);
        *context = nullptr;
        if (request != nullptr && request->headSeen) --server->m_requestsInFlight;
        delete request;
        if (auto* entry = EntryOf(connection)) server->m_guard.ReplySent(*entry);
    }

    static void Connection(void* self, MHD_Connection* connection, void** socketContext,
                           MHD_ConnectionNotificationCode code) {
        auto& guard = static_cast<PollHttpServer*>(self)->m_guard;
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            const auto* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            const int fd = info != nullptr ? info->connect_fd : -1;
            // Small replies go out at once rather than waiting for an acknowledgement.
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            *socketContext = guard.Opened(fd);
        } else {
            guard.Closed(static_cast<ConnectionGuard::Entry*>(*socketContext));
            *socketContext = nullptr;
        }
    }
};

PollHttpServer::PollHttpServer(PollService& service, const ServerOptions& options)
    : m_service(service),
      m_options(options),
      m_guard(std::chrono::seconds(options.headTimeout), std::chrono::seconds(options.bodyTimeout),
              options.maxConnections) {}

PollHttpServer::~PollHttpServer() {
    for (auto& listener : m_listeners) {
        if (listener->daemon != nullptr) MHD_stop_daemon(listener->daemon);
        if (listener->listenFd >= 0 && listener->daemon == nullptr) ::close(listener->listenFd);
    }
}

bool PollHttpServer::Answer(MHD_Connection* connection, const char* method, const char* uploadData,
                            std::size_t* uploadSize, Request& request) {
    auto* entry = EntryOf(connection);
    if (request.waiting) {
        // Resumed: the ballot's outcome is in.
        std::optional<PollService::Reply> reply;
        {
            std::lock_guard lock(request.laterMutex);
            reply.swap(request.later);
        }
        if (!reply) return true;
        request.waiting = false;
        return QueueReply(connection, *reply);
    }
    if (request.answered) {
        *uploadSize = 0;
        return true;
    }
    const bool post = std::strcmp(method, MHD_HTTP_METHOD_POST) == 0;
    if (!request.headSeen) {
        request.headSeen = true;
        ++m_requestsInFlight;
        // The bounds of a request head, checked before any of its body is read;
        // a refusal closes the connection so the rest is never read either.
        auto refuse = [&](int status, const char* message,
                          std::optional<Metrics::Bound> bound = std::nullopt) {
            request.answered = true;
            if (bound) Metrics::Global().Refused(*bound);
            return QueueError(connection, status, message, true);
        };
        const std::size_t lineBytes = std::strlen(method) + request.target.size() + 11;
        const auto* head =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE);
        const std::size_t headBytes = head != nullptr ? head->header_size : 0;
        if (lineBytes > m_options.maxRequestLine)
            return refuse(414, "request line too long", Metrics::Bound::RequestLine);
        if (headBytes > lineBytes + m_options.maxHeaderBytes)
            return refuse(431, "request headers too large", Metrics::Bound::HeaderBytes);
        if (m_stopping) return refuse(503, "server stopping");
        const bool get = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
                         std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
        if (!get && !post) return refuse(405, "method not allowed");
        const auto length = ContentLength(connection);
        if (length && *length > m_options.maxBodyBytes)
            return refuse(413, "request body too long", Metrics::Bound::BodyBytes);
        const bool bodyFollows =
            length ? *length > 0
                   : MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                 MHD_HTTP_HEADER_TRANSFER_ENCODING) != nullptr;
        if (entry != nullptr) m_guard.HeadReceived(*entry, bodyFollows);
        // The reply goes out on a later call: one queued now would cost the keep-alive.
        return true;
    }
    if (*uploadSize > 0) {
        // A chunked body past the bound: nothing more is read, the connection ends.
        if (request.body.size() + *uploadSize > m_options.maxBodyBytes) {
            Metrics::Global().Refused(Metrics::Bound::BodyBytes);
            return false;
        }
        // A POST carries its fields in the body (whatever its declared type).
        if (post) request.body.append(uploadData, *uploadSize);
        *uploadSize = 0;
        return true;
    }
    if (entry != nullptr) m_guard.Answering(*entry);
    request.answered = true;
    return Serve(connection, request);
}

bool PollHttpServer::Serve(MHD_Connection* connection, Request& request) {
    // Routes are matched on the raw path, exactly as the plug-in writes it.
    const auto query = request.target.find('?');
    const std::string path = request.target.substr(0, query);
    PollService::Script script;
    if (path == kPollingPath) {
        script = PollService::Script::Polling;
    } else if (path == kResultsPath) {
        script = PollService::Script::Results;
    } else {
        return QueueError(connection, 404, "no such script", false);
    }
    std::string form =
        query == std::string::npos ? std::string() : request.target.substr(query + 1);
    if (!request.body.empty()) form += (form.empty() ? "" : "&") + request.body;

    FormFields fields;
    std::string reason;
    if (!fields.Parse(form, reason)) return QueueReply(connection, PollService::Error(400, reason));
    if (!PollService::AnswersLater(script, fields))
        return QueueReply(connection, m_service.Handle(script, fields));

    // A ballot: the connection rests until its commit, and this thread goes on.
    // Suspended first, so the outcome can never come before the suspension.
    request.waiting = true;
    ++m_suspended;
    MHD_suspend_connection(connection);
    auto resume = [this, &request, connection](PollService::Reply reply) {
        {
            std::lock_guard lock(request.laterMutex);
            request.later = std::move(reply);
        }
        MHD_resume_connection(connection);
        --m_suspended;
    };
    if (auto now = m_service.Start(script, fields, resume)) resume(std::move(*now));
    return true;
}

bool PollHttpServer::Add(const std::string& scheme, const std::string& host, int port,
                         const std::string* certificate, const std::string* key,
                         std::string& reason) {
    auto listener = std::make_unique<Listener>();
    const bool tls = certificate != nullptr;
    if (tls) {
        listener->certificate = *certificate;
        listener->key = *key;
        if (!UsableKeyPair(listener->certificate, listener->key)) {
            reason = scheme + ": the certificate or key cannot be used";
            return false;
        }
    }
    int bound = 0;
    listener->listenFd = Listen(host, port, bound, reason);
    if (listener->listenFd < 0) {
        reason = scheme + ": " + reason;
        return false;
    }

    const auto threads = static_cast<unsigned>(m_options.ThreadsFor(tls));
    // The library shares its connection bound out among its threads and, at the
    // bound, leaves new connections waiting; the guard's own bound (closing at
    // once) is the one that counts, so the library's is set well above it.
    const auto libraryLimit = static_cast<unsigned>(
        std::min<std::size_t>(m_options.maxConnections * 2 + 64 * threads, 0x7FFFFFFF));
    // Room for the longest request line and header block the bounds allow, so
    // the replies to oversized ones are this server's own documents. At the
    // defaults this stays at 32 KiB, the most the library takes from malloc:
    // a larger pool is mapped and unmapped for every connection, which halved
    // the rate of fresh connections.
    const std::size_t memory =
        std::max<std::size_t>(32768, m_options.maxRequestLine + m_options.maxHeaderBytes + 8192);
    const unsigned idleSeconds =
        static_cast<unsigned>(std::max(m_options.headTimeout, m_options.bodyTimeout));
    std::vector<MHD_OptionItem> options = {
        {MHD_OPTION_LISTEN_SOCKET, listener->listenFd, nullptr},
        {MHD_OPTION_THREAD_POOL_SIZE, static_cast<intptr_t>(threads), nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, static_cast<intptr_t>(libraryLimit), nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<intptr_t>(m_options.maxPerAddress),
         nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(idleSeconds), nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(memory), nullptr},
        {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&Callbacks::RequestLine), this},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Callbacks::Completed), this},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&Callbacks::Connection), this},
        {MHD_OPTION_UNESCAPE_CALLBACK, reinterpret_cast<intptr_t>(&KeepEscaped), nullptr},
    };
    if (tls) {
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, listener->key.data()});
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, listener->certificate.data()});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});
    // HTTPS waits in poll() rather than epoll: this library's epoll loop keeps
    // retrying the read of a connection whose TLS handshake waits for its client,
    // a busy loop that a few thousand idle handshakes would turn into a stall.
    const unsigned flags =
        (tls ? MHD_USE_TLS | MHD_USE_POLL_INTERNAL_THREAD : MHD_USE_EPOLL_INTERNAL_THREAD) |
        MHD_USE_ITC | MHD_ALLOW_SUSPEND_RESUME;
    listener->daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &Callbacks::Handle, this,
                                        MHD_OPTION_ARRAY, options.data(), MHD_OPTION_END);
    if (listener->daemon == nullptr) {
        ::close(listener->listenFd);
        reason = scheme + ": cannot start serving on " + host;
        return false;
    }
    const std::string shownHost = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    listener->url = scheme + "://" + shownHost + ":" + std::to_string(bound);
    m_guard.NameListener(bound, scheme);
    m_listeners.push_back(std::move(listener));
    return true;
}

bool PollHttpServer::AddOps(const std::string& host, int port, const OpsEndpoint& endpoint,
                            std::string& reason) {
    struct Handler {
        // Answered once the request is whole; a body, if any, is read and dropped.
        static MHD_Result Answer(void* endpoint, MHD_Connection* connection, const char* url,
                                 const char* method, const char*, const char*, size_t* uploadSize,
                                 void** context) {
            static int begun;
            if (*context == nullptr) {
                *context = &begun;
                return MHD_YES;
            }
            if (*uploadSize > 0) {
                *uploadSize = 0;
                return MHD_YES;
            }
            try {
                const auto reply = static_cast<const OpsEndpoint*>(endpoint)->Answer(method, url);
                return Queue(connection, reply.status, reply.body, reply.contentType.c_str(), false)
                           ? MHD_YES
                           : MHD_NO;
            } catch (...) {
                return MHD_NO;
            }
        }
    };
    auto listener = std::make_unique<Listener>();
    int bound = 0;
    listener->listenFd = Listen(host, port, bound, reason);
    if (listener->listenFd < 0) {
        reason = "metrics: " + reason;
        return false;
    }
    listener->daemon = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_ITC, 0, nullptr, nullptr,
        &Handler::Answer, const_cast<OpsEndpoint*>(&endpoint), MHD_OPTION_LISTEN_SOCKET,
        listener->listenFd, MHD_OPTION_CONNECTION_LIMIT, 64u, MHD_OPTION_CONNECTION_TIMEOUT,
        static_cast<unsigned>(m_options.headTimeout), MHD_OPTION_END);
    if (listener->daemon == nullptr) {
        ::close(listener->listenFd);
        reason = "metrics: cannot start serving on " + host;
        return false;
    }
    const std::string shownHost = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    listener->url = "metrics=http://" + shownHost + ":" + std::to_string(bound);
    m_listeners.push_back(std::move(listener));
    return true;
}

bool PollHttpServer::AddHttp(const std::string& host, int port, std::string& reason) {
    return Add("http", host, port, nullptr, nullptr, reason);
}

bool PollHttpServer::AddHttps(const std::string& host, int port,
                              const std::filesystem::path& certificate,
                              const std::filesystem::path& key, std::string& reason) {
    std::string certificateText;
    std::string keyText;
    if (!ReadFile(certificate, certificateText) || !ReadFile(key, keyText)) {
        reason = "https: the certificate or key cannot be read";
        return false;
    }
    return Add("https", host, port, &certificateText, &keyText, reason);
}

std::string PollHttpServer::Urls() const {
    std::string urls;
    for (const auto& listener : m_listeners) urls += (urls.empty() ? "" : " ") + listener->url;
    return urls;
}

void PollHttpServer::Run() {
    {
        std::unique_lock lock(m_stopMutex);
        m_stopWake.wait(lock, [this] { return m_stopRequested; });
    }
    // No new connections; requests on open ones are refused from now on, and
    // those already begun are answered (within a bound) before the connections go.
    m_stopping = true;
    for (auto& listener : m_listeners) {
        if (listener->daemon == nullptr) continue;
        const MHD_socket handedBack = MHD_quiesce_daemon(listener->daemon);
        listener->listenFd = handedBack;
    }
    // A ballot still waiting for the store is always waited for: its connection
    // and request must outlive the store's answer (bounded by the store's own time-out).
    const auto drainUntil = std::chrono::steady_clock::now() + kDrainLimit;
    while (m_suspended > 0 ||
           (m_requestsInFlight > 0 && std::chrono::steady_clock::now() < drainUntil))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (auto& listener : m_listeners) {
        if (listener->daemon == nullptr) continue;
        MHD_stop_daemon(listener->daemon);
        listener->daemon = nullptr;
        if (listener->listenFd >= 0) ::close(listener->listenFd);
        listener->listenFd = -1;
    }
}

void PollHttpServer::Stop() {
    {
        std::lock_guard lock(m_stopMutex);
        m_stopRequested = true;
    }
    m_stopWake.notify_all();
}

}  // namespace quibra::pollserver
