#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ConnectionGuard.h"

struct MHD_Connection;
struct MHD_Daemon;

namespace quibra::pollserver {

class OpsEndpoint;
class PollService;
struct ServerOptions;

// The HTTP and HTTPS listeners in front of PollService, on libmicrohttpd's
// event loop: each listener has a pool of threads, each waiting on its own set
// of connections (epoll for HTTP, poll for HTTPS), so an idle or slow
// connection costs a socket and a little memory but never a thread. A request
// is answered on the event thread that read it, except a ballot: its connection
// rests while the ballot waits for its group commit, and the event thread
// serves others meanwhile.
class PollHttpServer {
public:
    static constexpr const char* kPollingPath = "/wendrake-idm/v4/polling/polling.asp";
    static constexpr const char* kResultsPath = "/wendrake-idm/v4/polling/get_polling.asp";

    // Takes the threads and the bounds from `options`.
    PollHttpServer(PollService& service, const ServerOptions& options);
    ~PollHttpServer();
    PollHttpServer(const PollHttpServer&) = delete;
    PollHttpServer& operator=(const PollHttpServer&) = delete;

    // Binds and starts serving at once (port 0: any free port), so the URL can
    // be printed. False with a reason when the socket or the certificate fails.
    bool AddHttp(const std::string& host, int port, std::string& reason);
    bool AddHttps(const std::string& host, int port, const std::filesystem::path& certificate,
                  const std::filesystem::path& key, std::string& reason);
    // The operators' listener: /healthz and /metrics from `endpoint`, which
    // must outlive the server. Not counted in the connection bounds.
    bool AddOps(const std::string& host, int port, const OpsEndpoint& endpoint,
                std::string& reason);
    // The bound URLs, space separated, e.g. "http://127.0.0.1:8080 https://127.0.0.1:8443".
    std::string Urls() const;

    // Serves until Stop; requests already begun are answered before it returns.
    void Run();
    // Safe from any thread, also before Run.
    void Stop();

private:
    struct Listener;
    struct Request;    // one request's raw target and body, between the library's calls
    struct Callbacks;  // the library's entry points, in the source file
    friend struct Callbacks;

    bool Add(const std::string& scheme, const std::string& host, int port,
             const std::string* certificate, const std::string* key, std::string& reason);
    // One call of the library's request handler; false drops the connection.
    bool Answer(MHD_Connection* connection, const char* method, const char* uploadData,
                std::size_t* uploadSize, Request& request);
    bool Serve(MHD_Connection* connection, Request& request);

    PollService& m_service;
    const ServerOptions& m_options;
    ConnectionGuard m_guard;
    std::atomic<int> m_requestsInFlight{0};  // heads read, replies not yet sent
    std::atomic<int> m_suspended{0};         // ballots waiting for their commit
    std::atomic<bool> m_stopping{false};
    std::vector<std::unique_ptr<Listener>> m_listeners;
    std::mutex m_stopMutex;
    std::condition_variable m_stopWake;
    bool m_stopRequested = false;  // guarded by m_stopMutex
};

}  // namespace quibra::pollserver
