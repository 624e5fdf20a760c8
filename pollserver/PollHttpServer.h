#pragma once

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "ConnectionGuard.h"
#include "RequestHandler.h"

namespace quibra::pollserver {

class EventLoop;
class EventStreamEndpoint;
class ListenSocket;
class OpsEndpoint;
class PollService;
class TlsContext;
struct ServerOptions;

// The HTTP and HTTPS listeners in front of PollService, on one pool of event
// threads (EventLoop) that serves both: each waits in epoll on the
// connections it accepted, so an idle or slow connection, plain or TLS, costs
// a socket and a little memory but never a thread or CPU. A request is
// answered on the event thread that read it, except a ballot: its connection
// rests while the ballot waits for its group commit, and the event thread
// serves others meanwhile.
class PollHttpServer final : public RequestHandler {
public:
    static constexpr const char* kPollingPath = "/wendrake-idm/v4/polling/polling.asp";
    static constexpr const char* kResultsPath = "/wendrake-idm/v4/polling/get_polling.asp";

    // Takes the threads and the bounds from `options`.
    PollHttpServer(PollService& service, const ServerOptions& options);
    ~PollHttpServer();
    PollHttpServer(const PollHttpServer&) = delete;
    PollHttpServer& operator=(const PollHttpServer&) = delete;

    // Binds at once (port 0: any free port), so the URL can be printed;
    // connections queue until Run. False with a reason when the socket or
    // the certificate fails.
    bool AddHttp(const std::string& host, int port, std::string& reason);
    bool AddHttps(const std::string& host, int port, const std::filesystem::path& certificate,
                  const std::filesystem::path& key, std::string& reason);
    // The operators' listener: /healthz and /metrics from `endpoint`, which
    // must outlive the server; on the same event threads, but exempt from the
    // connection bounds and counts. Its URL shows as "metrics=http://...".
    bool AddOps(const std::string& host, int port, const OpsEndpoint& endpoint,
                std::string& reason);
    // Before Run: the event stream (EventStreamEndpoint::kPath) from
    // `endpoint`, which must outlive the server; its hub gets the event loops.
    void ServeEvents(EventStreamEndpoint& endpoint) { m_events = &endpoint; }
    // The bound URLs, space separated, e.g. "http://127.0.0.1:8080 https://127.0.0.1:8443".
    std::string Urls() const;

    // Serves until Stop; requests already begun are answered before it returns.
    void Run();
    // Safe from any thread, also before Run.
    void Stop();

    // RequestHandler: the one place where requests reach PollService.
    void Handle(HttpConnection& connection, const RequestHead& head, std::string& body) override;
    HttpReply Error(int status, std::string_view message) override;

private:
    struct Listener;
    bool Add(const std::string& scheme, const std::string& host, int port,
             std::unique_ptr<TlsContext> tls, std::string& reason);
    void AnswerOps(HttpConnection& connection, const RequestHead& head);

    PollService& m_service;
    const ServerOptions& m_options;
    EventStreamEndpoint* m_events = nullptr;
    ConnectionGuard m_guard;
    std::vector<std::unique_ptr<Listener>> m_listeners;
    std::mutex m_stopMutex;
    std::condition_variable m_stopWake;
    bool m_stopRequested = false;  // guarded by m_stopMutex
};

}  // namespace quibra::pollserver
