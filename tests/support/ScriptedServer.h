#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace quibra::test {

// One request as the server read it off the wire.
struct RecordedRequest {
    std::string line;                                 // "GET /p?a=1 HTTP/1.1"
    std::multimap<std::string, std::string> headers;  // lower-case name -> value

    // The values of the named headers (lower case), "|" between names: each name's values
    // joined by ",", or "-" when it is absent.
    std::string Headers(std::initializer_list<std::string> names) const;
};

// What the server does with one request: writes `bytes`, then closes the connection, or
// holds it open reading nothing more (`stall`), or else reads the next request on it (so a
// reply short of its Content-Length stalls as well).
struct ScriptedReply {
    std::string bytes;
    bool close = false;
    bool stall = false;

    // "HTTP/1.1 <status> Scripted", the header lines and Content-Length, then the body.
    static ScriptedReply Status(int status, const std::string& body = {},
                                const std::vector<std::string>& headers = {});
};

// A small HTTP/1.1 server on 127.0.0.1 (ephemeral port) that records every request and answers
// from a script, so that tests can produce what a well-behaved server never sends: short
// bodies, stalls, proxy challenges. Each connection is served on a thread of its own.
class ScriptedServer {
    template <typename F>
    auto Locked(F f) const {
        std::lock_guard lock(m_lock);
        return f();
    }

public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:<port><path>"
    std::wstring Url(const std::wstring& path = {}) const;
    // Replies go out in the order pushed; once they run out the default (500 unless set).
    void Push(ScriptedReply reply) {
        Locked([&] { m_replies.push_back(reply); });
    }
    void SetDefault(ScriptedReply reply) {
        Locked([&] { m_default = reply; });
    }
    std::vector<RecordedRequest> Requests() const {
        return Locked([&] { return m_requests; });
    }
    int Connections() const {
        return Locked([&] { return m_connections; });
    }

private:
    void Serve(int fd);

    int m_listenFd = -1;
    uint16_t m_port = 0;
    mutable std::mutex m_lock;
    bool m_stopping = false;
    std::set<int> m_open;  // connections being served
    int m_connections = 0;
    std::deque<ScriptedReply> m_replies;
    ScriptedReply m_default = ScriptedReply::Status(500, "no script");
    std::vector<RecordedRequest> m_requests;
    std::thread m_acceptor;
    std::vector<std::thread> m_workers;
};

}  // namespace quibra::test
