#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace quibra::pollserver {

class PollService;

// The HTTP and HTTPS listeners in front of PollService. Each listener has a
// pool of request threads; a connection is served by one thread at a time.
class PollHttpServer {
public:
    static constexpr const char* kPollingPath = "/wendrake-idm/v4/polling/polling.asp";
    static constexpr const char* kResultsPath = "/wendrake-idm/v4/polling/get_polling.asp";

    PollHttpServer(PollService& service, int threads);
    ~PollHttpServer();
    PollHttpServer(const PollHttpServer&) = delete;
    PollHttpServer& operator=(const PollHttpServer&) = delete;

    // Binds at once (port 0: any free port), so the URL can be printed before
    // Run. False with a reason when the socket or the certificate fails.
    bool AddHttp(const std::string& host, int port, std::string& reason);
    bool AddHttps(const std::string& host, int port, const std::filesystem::path& certificate,
                  const std::filesystem::path& key, std::string& reason);
    // The bound URLs, space separated, e.g. "http://127.0.0.1:8080 https://127.0.0.1:8443".
    std::string Urls() const;

    // Serves until Stop; requests already accepted are answered before it returns.
    void Run();
    // Safe from any thread, also before Run has started the listeners.
    void Stop();

private:
    struct Listener {
        std::unique_ptr<httplib::Server> server;
        std::string url;
        std::atomic<bool> finished{false};
    };

    bool Add(std::unique_ptr<httplib::Server> server, const std::string& scheme,
             const std::string& host, int port, std::string& reason);
    void Configure(httplib::Server& server);
    void Serve(const httplib::Request& request, const std::string& body,
               httplib::Response& response);

    PollService& m_service;
    int m_threads;
    std::vector<std::unique_ptr<Listener>> m_listeners;
    std::mutex m_stopMutex;
    bool m_stopRequested = false;  // guarded by m_stopMutex
    bool m_started = false;        // guarded by m_stopMutex
};

}  // namespace quibra::pollserver
