#include "PollHttpServer.h"

#include <thread>

#include "EventHub.h"
#include "EventLoop.h"
#include "EventStreamEndpoint.h"
#include "FormFields.h"
#include "HttpConnection.h"
#include "ListenSocket.h"
#include "OpsEndpoint.h"
#include "PollService.h"
#include "RequestHead.h"
#include "ServerOptions.h"
#include "TlsContext.h"

namespace quibra::pollserver {

namespace {

constexpr const char* kXmlType = "text/xml; charset=UTF-8";

// The HTTP form of a PollService reply. A header the service adds to its
// reply goes on here, as one more line of `headers`.
HttpReply ToHttp(PollService::Reply reply) {
    HttpReply http;
    http.status = reply.status;
    http.contentType = kXmlType;
    http.body = std::move(reply.body);
    if (!reply.wwwAuthenticate.empty())
        http.headers.emplace_back("WWW-Authenticate", std::move(reply.wwwAuthenticate));
    return http;
}

}  // namespace

struct PollHttpServer::Listener {
    ListenSocket socket;
    std::unique_ptr<TlsContext> tls;
    std::string url;
    const OpsEndpoint* ops = nullptr;  // set: the operators' listener
};

PollHttpServer::PollHttpServer(PollService& service, const ServerOptions& options)
    : m_service(service),
      m_options(options),
      m_guard(options.maxConnections, options.maxPerAddress) {}

PollHttpServer::~PollHttpServer() = default;

HttpReply PollHttpServer::Error(int status, std::string_view message) {
    // A reply that must not fail even when building the XML document does.
    try {
        auto reply = ToHttp(PollService::Error(status, message));
        if (status == 405) reply.headers.emplace_back("Allow", "GET, HEAD, POST");
        return reply;
    } catch (...) {
        return HttpReply{status, "text/plain; charset=UTF-8", std::string(message), {}};
    }
}

void PollHttpServer::Handle(HttpConnection& connection, const RequestHead& head,
                            std::string& body) {
    const auto listener = static_cast<std::size_t>(connection.Listener());
    if (listener < m_listeners.size() && m_listeners[listener]->ops != nullptr) {
        AnswerOps(connection, head);
        return;
    }
    // Routes are matched on the raw path, exactly as the plug-in writes it.
    const std::string_view target = head.Target();
    const auto query = target.find('?');
    const std::string_view path = target.substr(0, query);
    PollService::Script script;
    if (path == EventStreamEndpoint::kPath && m_events != nullptr) {
        if (head.Method() != "GET" && head.Method() != "HEAD") {
            connection.Reply(Error(405, "method not allowed"));
            return;
        }
        try {
            if (auto refused =
                    m_events->Open(connection, head,
                                   query == std::string_view::npos ? std::string_view()
                                                                   : target.substr(query + 1)))
                connection.Reply(ToHttp(std::move(*refused)));
        } catch (...) {
            connection.Reply(Error(500, "internal error"));
        }
        return;
    }
    if (path == kPollingPath) {
        script = PollService::Script::Polling;
    } else if (path == kResultsPath) {
        script = PollService::Script::Results;
    } else {
        connection.Reply(Error(404, "no such script"));
        return;
    }
    std::string form(query == std::string_view::npos ? std::string_view()
                                                     : target.substr(query + 1));
    if (!body.empty()) form += (form.empty() ? "" : "&") + body;

    FormFields fields;
    std::string reason;
    // The credential, if any, goes to the service as sent; it is never logged.
    const PollService::Authorization credential = head.Header("Authorization");
    try {
        if (!fields.Parse(form, reason)) {
            connection.Reply(ToHttp(PollService::Error(400, reason)));
            return;
        }
        if (!PollService::AnswersLater(script, fields)) {
            connection.Reply(ToHttp(m_service.Handle(script, fields, credential)));
            return;
        }
        // A ballot: the connection rests until its commit, and this thread goes on.
        auto later = connection.ReplyLater();
        auto done = [later](PollService::Reply reply) { later(ToHttp(std::move(reply))); };
        if (auto now = m_service.Start(script, fields, done, credential)) done(std::move(*now));
    } catch (...) {
        if (!connection.Waiting()) connection.Reply(Error(500, "internal error"));
    }
}

void PollHttpServer::AnswerOps(HttpConnection& connection, const RequestHead& head) {
    const OpsEndpoint& ops = *m_listeners[static_cast<std::size_t>(connection.Listener())]->ops;
    try {
        // A store that does not answer holds this event thread for kHealthLimit at most.
        auto reply = ops.Answer(head.Method(), head.Target());
        connection.Reply(
            HttpReply{reply.status, std::move(reply.contentType), std::move(reply.body), {}});
    } catch (...) {
        connection.Reply(Error(500, "internal error"));
    }
}

bool PollHttpServer::Add(const std::string& scheme, const std::string& host, int port,
                         std::unique_ptr<TlsContext> tls, std::string& reason) {
    auto listener = std::make_unique<Listener>();
    if (!listener->socket.Open(host, port, reason)) {
        reason = scheme + ": " + reason;
        return false;
    }
    listener->tls = std::move(tls);
    const std::string shownHost = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    listener->url = scheme + "://" + shownHost + ":" + std::to_string(listener->socket.Port());
    const int number = static_cast<int>(m_listeners.size());
    if (scheme == "metrics=http")
        m_guard.Exempt(number);
    else
        m_guard.NameListener(number, scheme);
    m_listeners.push_back(std::move(listener));
    return true;
}

bool PollHttpServer::AddOps(const std::string& host, int port, const OpsEndpoint& endpoint,
                            std::string& reason) {
    if (!Add("metrics=http", host, port, nullptr, reason)) {
        reason = "metrics" + reason.substr(reason.find(':'));
        return false;
    }
    m_listeners.back()->ops = &endpoint;
    return true;
}

bool PollHttpServer::AddHttp(const std::string& host, int port, std::string& reason) {
    return Add("http", host, port, nullptr, reason);
}

bool PollHttpServer::AddHttps(const std::string& host, int port,
                              const std::filesystem::path& certificate,
                              const std::filesystem::path& key, std::string& reason) {
    auto tls = std::make_unique<TlsContext>();
    if (!tls->Load(certificate, key, reason)) {
        reason = "https: " + reason;
        return false;
    }
    return Add("https", host, port, std::move(tls), reason);
}

std::string PollHttpServer::Urls() const {
    std::string urls;
    for (const auto& listener : m_listeners) urls += (urls.empty() ? "" : " ") + listener->url;
    return urls;
}

void PollHttpServer::Run() {
    std::vector<std::unique_ptr<EventLoop>> loops;
    for (int i = 0; i < m_options.EventThreads(); ++i) {
        loops.push_back(std::make_unique<EventLoop>(m_options, m_guard, *this));
        for (std::size_t l = 0; l < m_listeners.size(); ++l)
            loops.back()->AddListener(static_cast<int>(l), m_listeners[l]->socket.Fd(),
                                      m_listeners[l]->tls.get());
    }
    if (m_events != nullptr)
        for (auto& loop : loops) m_events->Hub().Attach(*loop);
    std::vector<std::thread> threads;
    for (auto& loop : loops) threads.emplace_back([&loop] { loop->Run(); });
    {
        std::unique_lock lock(m_stopMutex);
        m_stopWake.wait(lock, [this] { return m_stopRequested; });
    }
    // No new connections; requests on open ones are refused from now on, and
    // those already begun are answered (within a bound) before the connections
    // go. A ballot still waiting for the store is always waited for.
    for (auto& loop : loops) loop->Stop();
    for (auto& thread : threads) thread.join();
    if (m_events != nullptr)
        for (auto& loop : loops) m_events->Hub().Detach(*loop);
    for (auto& listener : m_listeners) listener->socket.Close();
}

void PollHttpServer::Stop() {
    {
        std::lock_guard lock(m_stopMutex);
        m_stopRequested = true;
    }
    m_stopWake.notify_all();
}

}  // namespace quibra::pollserver
