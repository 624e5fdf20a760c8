#include "support/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace quibra::test {

std::string RecordedRequest::Headers(std::initializer_list<std::string> names) const {
    std::string out;
    for (const std::string& name : names) {
        std::string values = headers.count(name) ? "" : "-";
        for (auto [it, end] = headers.equal_range(name); it != end; ++it)
            values += (values.empty() ? "" : ",") + it->second;
        out += (out.empty() ? "" : "|") + values;
    }
    return out;
}

ScriptedReply ScriptedReply::Status(int status, const std::string& body,
                                    const std::vector<std::string>& headers) {
    std::string bytes = "HTTP/1.1 " + std::to_string(status) + " Scripted\r\n";
    for (const std::string& h : headers) bytes += h + "\r\n";
    return {bytes + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body};
}

ScriptedServer::ScriptedServer() {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
        ::listen(m_listenFd, 64) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw std::runtime_error("scripted server cannot listen");
    m_port = ntohs(addr.sin_port);
    m_acceptor = std::thread([this] {
        for (int fd; (fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            std::lock_guard lock(m_lock);
            if (m_stopping) return (void)::close(fd);
            ++m_connections;
            m_open.insert(fd);
            m_workers.emplace_back([this, fd] { Serve(fd); });
        }
    });
}

ScriptedServer::~ScriptedServer() {
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
        for (int fd : m_open) ::shutdown(fd, SHUT_RDWR);
    }
    ::shutdown(m_listenFd, SHUT_RDWR);  // wakes the blocked accept
    m_acceptor.join();                  // no worker is added from here on
    for (std::thread& worker : m_workers) worker.join();
    ::close(m_listenFd);
}

std::wstring ScriptedServer::Url(const std::wstring& path) const {
    return L"http://127.0.0.1:" + std::to_wstring(m_port) + path;
}

void ScriptedServer::Serve(int fd) {
    std::string in;
    // Reads until `complete` holds; false when the connection ends first.
    auto readUntil = [&](const auto& complete) {
        char chunk[4096];
        for (ssize_t n; !complete(); in.append(chunk, static_cast<size_t>(n)))
            if ((n = ::recv(fd, chunk, sizeof chunk, 0)) <= 0) return false;
        return true;
    };
    size_t end = 0;
    while (readUntil([&] { return (end = in.find("\r\n\r\n")) != std::string::npos; })) {
        RecordedRequest request;
        size_t at = in.find("\r\n");
        request.line = in.substr(0, at);
        while (at < end) {
            const size_t next = in.find("\r\n", at + 2), colon = in.find(':', at);
            std::string name = in.substr(at + 2, colon - at - 2), value;
            for (char& c : name) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
            value = in.substr(colon + 1, next - colon - 1);
            request.headers.emplace(name, value.erase(0, value.find_first_not_of(' ')));
            at = next;
        }
        in.erase(0, end + 4);
        const auto length = request.headers.find("content-length");
        const size_t size = length == request.headers.end() ? 0 : std::stoul(length->second);
        if (!readUntil([&] { return in.size() >= size; })) break;
        in.erase(0, size);  // the body is read past, not kept
        ScriptedReply reply;
        {
            std::lock_guard lock(m_lock);
            m_requests.push_back(std::move(request));
            reply = m_replies.empty() ? m_default : m_replies.front();
            if (!m_replies.empty()) m_replies.pop_front();
        }
        const auto sent = ::send(fd, reply.bytes.data(), reply.bytes.size(), MSG_NOSIGNAL);
        if (reply.stall) readUntil([] { return false; });  // until the client or we end it
        if (sent != static_cast<ssize_t>(reply.bytes.size()) || reply.close || reply.stall) break;
    }
    std::lock_guard lock(m_lock);
    m_open.erase(fd);
    ::close(fd);
}

}  // namespace quibra::test
