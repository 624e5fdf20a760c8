#include "PollHttpServer.h"

#include <httplib.h>

#include <sys/socket.h>

#include <thread>

#include "FormFields.h"
#include "PollService.h"

namespace quibra::pollserver {

namespace {

// Enough for every field of the largest job at 8192 characters each.
constexpr std::size_t kMaxBodyBytes = 8 * 1024 * 1024;
constexpr const char* kXmlType = "text/xml; charset=UTF-8";

void SetReply(httplib::Response& response, const PollService::Reply& reply) {
    response.status = reply.status;
    response.set_header("Cache-Control", "no-store");
    response.set_content(reply.body, kXmlType);
}

// A reply that must not fail even when building the XML document does.
void SetErrorReply(httplib::Response& response, int status, const char* message) {
    try {
        SetReply(response, PollService::Error(status, message));
    } catch (...) {
        response.status = status;
        response.set_content(message, "text/plain; charset=UTF-8");
    }
}

// The library listens with a backlog of 5. The plug-in opens a new connection
// for every request, so a room of attendees voting at once overflows that
// queue, and every dropped SYN costs its client a second or more. This gives
// the bound socket a full-size queue (listen() again only updates the backlog).
template <typename Base>
class WideBacklog : public Base {
public:
    using Base::Base;
    bool WidenBacklog() { return ::listen(this->svr_sock_, SOMAXCONN) == 0; }
};

}  // namespace

PollHttpServer::PollHttpServer(PollService& service, int threads)
    : m_service(service), m_threads(threads) {}

PollHttpServer::~PollHttpServer() = default;

void PollHttpServer::Configure(httplib::Server& server) {
    const int threads = m_threads;
    server.new_task_queue = [threads] {
        return new httplib::ThreadPool(static_cast<size_t>(threads));
    };
    server.set_tcp_nodelay(true);
    server.set_keep_alive_max_count(1000);
    // Short, because a stop waits for idle keep-alive connections to lapse.
    server.set_keep_alive_timeout(2);
    server.set_read_timeout(10);
    server.set_write_timeout(10);
    server.set_payload_max_length(kMaxBodyBytes);

    auto serve = [this](const httplib::Request& request, httplib::Response& response) {
        Serve(request, std::string(), response);
    };
    auto refuse = [](const httplib::Request&, httplib::Response& response) {
        SetErrorReply(response, 405, "method not allowed");
    };
    server.Get(".*", serve);
    // POST bodies are read here rather than by the library, which caps form
    // bodies at 8 KiB: 8192 characters of text need up to nine times that.
    server.Post(".*", [this](const httplib::Request& request, httplib::Response& response,
                             const httplib::ContentReader& reader) {
        std::string body;
        bool tooLong = false;
        reader([&](const char* data, size_t length) {
            if (body.size() + length > kMaxBodyBytes) {
                tooLong = true;
                return false;
            }
            body.append(data, length);
            return true;
        });
        if (tooLong) {
            SetErrorReply(response, 413, "request body too long");
            return;
        }
        Serve(request, body, response);
    });
    server.Put(".*", refuse);
    server.Patch(".*", refuse);
    server.Delete(".*", refuse);
    server.Options(".*", refuse);
    // Whatever the library rejects by itself (bad request line, URI too long,
    // unknown method) still gets the short error document.
    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request&, httplib::Response& response) {
            if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
            SetErrorReply(response, response.status, "request refused");
            return httplib::Server::HandlerResponse::Handled;
        }));
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            SetErrorReply(response, 500, "internal error");
        });
}

void PollHttpServer::Serve(const httplib::Request& request, const std::string& body,
                           httplib::Response& response) {
    // Routes are matched on the raw path, exactly as the plug-in writes it.
    const auto query = request.target.find('?');
    const std::string path = request.target.substr(0, query);
    PollService::Script script;
    if (path == kPollingPath) {
        script = PollService::Script::Polling;
    } else if (path == kResultsPath) {
        script = PollService::Script::Results;
    } else {
        SetErrorReply(response, 404, "no such script");
        return;
    }
    std::string form =
        query == std::string::npos ? std::string() : request.target.substr(query + 1);
    // A POST carries its fields in the body (whatever its declared type).
    if (!body.empty()) form += (form.empty() ? "" : "&") + body;

    FormFields fields;
    std::string reason;
    if (!fields.Parse(form, reason)) {
        SetReply(response, PollService::Error(400, reason));
        return;
    }
    SetReply(response, m_service.Handle(script, fields));
}

bool PollHttpServer::Add(std::unique_ptr<httplib::Server> server, const std::string& scheme,
                         const std::string& host, int port, std::string& reason) {
    if (!server->is_valid()) {
        reason = scheme + ": the certificate or key cannot be used";
        return false;
    }
    Configure(*server);
    int bound = port;
    if (port == 0) {
        bound = server->bind_to_any_port(host);
        if (bound <= 0) {
            reason = scheme + ": cannot bind " + host;
            return false;
        }
    } else if (!server->bind_to_port(host, port)) {
        reason = scheme + ": cannot bind " + host + ":" + std::to_string(port);
        return false;
    }
    const bool widened = scheme == "https"
                             ? static_cast<WideBacklog<httplib::SSLServer>&>(*server).WidenBacklog()
                             : static_cast<WideBacklog<httplib::Server>&>(*server).WidenBacklog();
    if (!widened) {
        reason = scheme + ": cannot listen on " + host;
        return false;
    }
    auto listener = std::make_unique<Listener>();
    listener->server = std::move(server);
    const std::string shownHost = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    listener->url = scheme + "://" + shownHost + ":" + std::to_string(bound);
    m_listeners.push_back(std::move(listener));
    return true;
}

bool PollHttpServer::AddHttp(const std::string& host, int port, std::string& reason) {
    return Add(std::make_unique<WideBacklog<httplib::Server>>(), "http", host, port, reason);
}

bool PollHttpServer::AddHttps(const std::string& host, int port,
                              const std::filesystem::path& certificate,
                              const std::filesystem::path& key, std::string& reason) {
    return Add(std::make_unique<WideBacklog<httplib::SSLServer>>(certificate.c_str(), key.c_str()),
               "https", host, port, reason);
}

std::string PollHttpServer::Urls() const {
    std::string urls;
    for (const auto& listener : m_listeners) urls += (urls.empty() ? "" : " ") + listener->url;
    return urls;
}

void PollHttpServer::Run() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_stopMutex);
        if (m_stopRequested) return;
        for (auto& listener : m_listeners) {
            Listener* current = listener.get();
            threads.emplace_back([current] {
                current->server->listen_after_bind();
                current->finished = true;
            });
        }
        m_started = true;
    }
    for (auto& thread : threads) thread.join();
}

void PollHttpServer::Stop() {
    std::lock_guard lock(m_stopMutex);
    m_stopRequested = true;
    if (!m_started) return;
    for (auto& listener : m_listeners) {
        // The library ignores a stop that comes before its accept loop runs;
        // wait for the loop (or its end) so the request cannot be lost.
        while (!listener->server->is_running() && !listener->finished) std::this_thread::yield();
        listener->server->stop();
    }
}

}  // namespace quibra::pollserver
