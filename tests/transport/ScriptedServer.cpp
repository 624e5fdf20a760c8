#include "transport/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <stdexcept>

namespace quibra::test {

namespace {

bool SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Whether `line` is a header called `name` (case-insensitive).
bool IsHeader(std::string_view line, std::string_view name) {
    return line.size() > name.size() && line[name.size()] == ':' &&
           strncasecmp(line.data(), name.data(), name.size()) == 0;
}

}  // namespace

std::string RecordedRequest::Header(std::string_view name) const {
    for (const std::string& line : headers) {
        if (!IsHeader(line, name)) continue;
        const size_t start = line.find_first_not_of(' ', name.size() + 1);
        return start == std::string::npos ? std::string() : line.substr(start);
    }
    return {};
}

int RecordedRequest::CountHeaders(std::string_view name) const {
    return static_cast<int>(std::count_if(headers.begin(), headers.end(),
                                          [&](const std::string& h) { return IsHeader(h, name); }));
}

ScriptedReply ScriptedReply::Status(int status, std::string body,
                                    std::vector<std::string> headers) {
    std::string bytes = "HTTP/1.1 " + std::to_string(status) + " Scripted\r\n";
    for (const std::string& h : headers) bytes += h + "\r\n";
    bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    return ScriptedReply{std::move(bytes)};
}

ScriptedReply ScriptedReply::ProxyChallenge(std::vector<std::string> schemes) {
    for (std::string& s : schemes) s = "Proxy-Authenticate: " + s;
    return Status(407, "denied", std::move(schemes));
}

ScriptedServer::ScriptedServer() : m_default(ScriptedReply::Status(500, "no script")) {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (m_listenFd < 0 ||
        ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 64) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw std::runtime_error("scripted server cannot listen");
    m_port = ntohs(addr.sin_port);
    m_acceptor = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
        for (int fd : m_openFds) ::shutdown(fd, SHUT_RDWR);
    }
    m_stopped.notify_all();
    ::shutdown(m_listenFd, SHUT_RDWR);  // wakes the blocked accept
    m_acceptor.join();
    for (std::thread& worker : m_workers) worker.join();
    ::close(m_listenFd);
}

std::string ScriptedServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::wstring ScriptedServer::WideBaseUrl() const {
    return L"http://127.0.0.1:" + std::to_wstring(m_port);
}

void ScriptedServer::Push(ScriptedReply reply) {
    std::lock_guard lock(m_lock);
    m_replies.push_back(std::move(reply));
}

void ScriptedServer::SetDefault(ScriptedReply reply) {
    std::lock_guard lock(m_lock);
    m_default = std::move(reply);
}

std::vector<RecordedRequest> ScriptedServer::Requests() const {
    std::lock_guard lock(m_lock);
    return m_requests;
}

int ScriptedServer::Connections() const {
    std::lock_guard lock(m_lock);
    return m_connections;
}

ScriptedReply ScriptedServer::NextReply() {
    if (m_replies.empty()) return m_default;
    ScriptedReply reply = std::move(m_replies.front());
    m_replies.pop_front();
    return reply;
}

void ScriptedServer::AcceptLoop() {
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lock(m_lock);
        if (m_stopping) {
            if (fd >= 0) ::close(fd);
            return;
        }
        if (fd < 0) continue;
        ++m_connections;
        m_openFds.insert(fd);
        m_workers.emplace_back([this, fd] { Serve(fd); });
    }
}

void ScriptedServer::Serve(int fd) {
    std::string buffer;
    char chunk[4096];
    auto readMore = [&]() {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buffer.append(chunk, static_cast<size_t>(n));
        return true;
    };
    for (;;) {
        size_t headEnd;
        while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos)
            if (!readMore()) goto done;
        {
            RecordedRequest request;
            std::string_view head(buffer.data(), headEnd);
            size_t lineEnd = head.find("\r\n");
            request.requestLine = std::string(head.substr(0, lineEnd));
            while (lineEnd != std::string_view::npos) {
                head.remove_prefix(lineEnd + 2);
                lineEnd = head.find("\r\n");
                request.headers.emplace_back(head.substr(0, lineEnd));
            }
            buffer.erase(0, headEnd + 4);
            const std::string length = request.Header("Content-Length");
            const size_t bodySize = length.empty() ? 0 : std::stoul(length);
            while (buffer.size() < bodySize)
                if (!readMore()) goto done;
            request.body = buffer.substr(0, bodySize);
            buffer.erase(0, bodySize);

            ScriptedReply reply;
            {
                std::lock_guard lock(m_lock);
                m_requests.push_back(std::move(request));
                reply = NextReply();
            }
            if (!SendAll(fd, reply.bytes)) break;
            if (reply.stall) {
                std::unique_lock lock(m_lock);
                m_stopped.wait(lock, [this] { return m_stopping; });
                break;
            }
            if (reply.close) break;
        }
    }
done:
    std::lock_guard lock(m_lock);
    m_openFds.erase(fd);
    ::close(fd);
}

}  // namespace quibra::test
