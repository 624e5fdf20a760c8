#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quibra::test {

// One request as the server read it off the wire.
struct RecordedRequest {
    std::string requestLine;           // "GET /p?a=1 HTTP/1.1"
    std::vector<std::string> headers;  // "Name: value", in the order received
    std::string body;

    // The value of the first header called `name` (case-insensitive); empty if none.
    std::string Header(std::string_view name) const;
    int CountHeaders(std::string_view name) const;
};

// What the server does with one request.
struct ScriptedReply {
    std::string bytes;   // written as they are
    bool close = false;  // close the connection after writing
    bool stall =
        false;  // then send nothing more and keep the connection open until the server stops

    // "HTTP/1.1 <status> <reason>" with Content-Length and the extra header lines.
    static ScriptedReply Status(int status, std::string body = {},
                                std::vector<std::string> headers = {});
    // A proxy challenge offering the given Proxy-Authenticate values.
    static ScriptedReply ProxyChallenge(std::vector<std::string> schemes);
};

// A small HTTP/1.1 server on 127.0.0.1 (ephemeral port) that records every
// request and answers from a script, so that tests can produce what a
// well-behaved server never sends: short bodies, stalls, proxy challenges.
// Connections are kept open between requests unless a reply says otherwise.
class ScriptedServer {
public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:<port>"
    std::string BaseUrl() const;
    std::wstring WideBaseUrl() const;

    // Replies are used in the order pushed; once they run out the default
    // reply (500 unless set) answers.
    void Push(ScriptedReply reply);
    void SetDefault(ScriptedReply reply);

    std::vector<RecordedRequest> Requests() const;
    int Connections() const;

private:
    void AcceptLoop();
    void Serve(int fd);
    ScriptedReply NextReply();

    int m_listenFd = -1;
    uint16_t m_port = 0;

    mutable std::mutex m_lock;
    std::condition_variable m_stopped;
    bool m_stopping = false;
    std::deque<ScriptedReply> m_replies;
    ScriptedReply m_default;
    std::vector<RecordedRequest> m_requests;
    int m_connections = 0;
    std::set<int> m_openFds;
    std::vector<std::thread> m_workers;
    std::thread m_acceptor;
};

}  // namespace quibra::test
