#pragma once

#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <optional>
#include <string>

#include "RawConnection.h"

namespace quibra::test {

// A subscriber of the pollserver's event stream over HTTP, or HTTPS after
// UseTls: sends the request, reads the head, then takes the body's chunks
// apart into frames.
class EventStreamClient {
public:
    struct Frame {
        std::string id;
        std::string event;
        std::string data;
        std::string comment;  // a comment line's text, e.g. " keep-alive"
    };
    static constexpr std::chrono::milliseconds kPatience{10000};

    // Before Open: over TLS, with `context` (the certificate is not checked).
    void UseTls(SSL_CTX* context) { m_tls = context; }
    // Sends the request; `headers` are whole lines, each ending in "\r\n".
    bool Open(const std::string& url, const std::string& query, const std::string& headers = {},
              const std::string& method = "GET", const std::string& version = "HTTP/1.1") {
        return m_connection.Connect(url) && (m_tls == nullptr || m_connection.Tls(m_tls)) &&
               m_connection.Send(method + " /quibra/v1/events?" + query + " " + version +
                                 "\r\nHost: 127.0.0.1\r\n" + headers + "\r\n");
    }
    // The reply's status once its head is in (0: none came); the head is in Head().
    int Status() {
        std::size_t end;
        while ((end = m_raw.find("\r\n\r\n")) == std::string::npos)
            if (!Read()) return 0;
        m_head = m_raw.substr(0, end + 2);
        m_raw.erase(0, end + 4);
        m_chunked = m_head.find("Transfer-Encoding: chunked\r\n") != std::string::npos;
        return m_head.size() > 12 ? std::stoi(m_head.substr(9, 3)) : 0;
    }
    const std::string& Head() const { return m_head; }
    // The next frame (comments included), or nullopt when the stream ended
    // or stayed silent for kPatience.
    std::optional<Frame> Next() {
        std::size_t end;
        while ((end = m_body.find("\n\n")) == std::string::npos)
            if (!Decode() && !Read()) return std::nullopt;
        Frame frame;
        std::size_t start = 0;
        while (start < end + 1) {
            const auto lineEnd = m_body.find('\n', start);
            const std::string line = m_body.substr(start, lineEnd - start);
            start = lineEnd + 1;
            const auto colon = line.find(':');
            const std::string field = line.substr(0, colon);
            std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
            if (field.empty()) {
                frame.comment = value;
                continue;
            }
            if (!value.empty() && value.front() == ' ') value.erase(0, 1);
            (field == "id" ? frame.id : field == "event" ? frame.event : frame.data) = value;
        }
        m_body.erase(0, end + 2);
        return frame;
    }
    // "event data" of the next frame, "" when none came.
    std::string NextEvent() {
        const auto frame = Next();
        return frame ? frame->event + " " + frame->data : "";
    }
    // True when the stream ends cleanly: its last chunk, then the connection closes.
    bool EndsCleanly() {
        std::string rest;
        const bool closed = m_connection.ReadUntilClosed(kPatience, &rest);
        m_raw += rest;
        while (Decode()) {
        }
        return closed && m_raw == "0\r\n\r\n";
    }
    RawConnection& Connection() { return m_connection; }

private:
    bool Read() {
        SSL* ssl = m_connection.Ssl();
        char buffer[16384];
        for (;;) {
            pollfd ready{m_connection.Fd(), POLLIN, 0};
            if ((ssl == nullptr || SSL_pending(ssl) == 0) &&
                ::poll(&ready, 1, static_cast<int>(kPatience.count())) <= 0)
                return false;
            const int n =
                ssl != nullptr
                    ? SSL_read(ssl, buffer, sizeof buffer)
                    : static_cast<int>(::recv(m_connection.Fd(), buffer, sizeof buffer, 0));
            if (n > 0) {
                m_raw.append(buffer, static_cast<std::size_t>(n));
                return true;
            }
            // A TLS record not yet whole: wait for the rest.
            if (ssl == nullptr || SSL_get_error(ssl, n) != SSL_ERROR_WANT_READ) return false;
        }
    }
    // Moves one whole chunk (or, unchunked, all bytes) to the body; false when none is whole.
    bool Decode() {
        if (!m_chunked) {
            m_body += m_raw;
            const bool any = !m_raw.empty();
            m_raw.clear();
            return any;
        }
        const auto line = m_raw.find("\r\n");
        if (line == std::string::npos) return false;
        const std::size_t size = std::stoul(m_raw.substr(0, line), nullptr, 16);
        if (size == 0 || m_raw.size() < line + 2 + size + 2) return false;
        m_body += m_raw.substr(line + 2, size);
        m_raw.erase(0, line + 2 + size + 2);
        return true;
    }

    RawConnection m_connection;
    SSL_CTX* m_tls = nullptr;
    std::string m_raw;  // bytes read and not yet decoded
    std::string m_head;
    std::string m_body;  // decoded body not yet taken as frames
    bool m_chunked = false;
};

}  // namespace quibra::test
