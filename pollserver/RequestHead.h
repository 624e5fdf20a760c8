#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quibra::pollserver {

// One HTTP/1.x request head, parsed from the bytes a connection has read so
// far: the request line, the header lines and what the server needs of them
// (body framing, keep-alive, 100-continue). The bounds are checked as bytes
// arrive, so an oversized head is refused before it is read whole. A complete
// head keeps a copy of its bytes; its fields are views into it.
class RequestHead {
public:
    struct Limits {
        std::size_t maxRequestLine = 8192;   // bytes of the request line with its CRLF
        std::size_t maxHeaderBytes = 16384;  // bytes of all header lines and the blank line
    };
    enum class State { Incomplete, Complete, Refused };

    // Parses `bytes`, the connection's input from the head's first byte on,
    // grown since the last call: Complete with HeadBytes() set, Incomplete
    // while the head may still fit its bounds, or Refused with Status() (400,
    // 414, 431, 501). Only the bytes added since the last call are searched
    // for the head's end, so a head trickled a byte at a time costs no more
    // than one sent whole.
    State Parse(std::string_view bytes, const Limits& limits);
    // Ready for the next request of the connection.
    void Reset() { *this = RequestHead(); }

    int Status() const { return m_status; }
    std::size_t HeadBytes() const { return m_headBytes; }
    std::string_view Method() const { return m_method; }
    std::string_view Target() const { return m_target; }  // exactly as sent
    bool Http11() const { return m_http11; }
    // The declared body: Content-Length, or chunked transfer coding.
    std::optional<std::uint64_t> ContentLength() const { return m_contentLength; }
    bool Chunked() const { return m_chunked; }
    bool BodyFollows() const { return m_chunked || m_contentLength.value_or(0) > 0; }
    // After the reply: HTTP/1.1 unless "Connection: close", HTTP/1.0 only with keep-alive.
    bool KeepAlive() const { return m_keepAlive; }
    bool ExpectsContinue() const { return m_expectContinue; }
    // The first value of a header (names compared without case), or nullopt.
    std::optional<std::string_view> Header(std::string_view name) const;

private:
    State Refuse(int status);
    bool ParseRequestLine(std::string_view line);
    bool TakeHeader(std::string_view name, std::string_view value);

    std::string m_text;         // the complete head
    std::size_t m_scanned = 0;  // bytes searched for the end of the head
    std::size_t m_lineEnd = 0;  // bytes of the request line with its LF; 0 until found
    int m_status = 0;
    std::size_t m_headBytes = 0;
    std::string_view m_method;
    std::string_view m_target;
    bool m_http11 = true;
    std::optional<std::uint64_t> m_contentLength;
    bool m_chunked = false;
    bool m_keepAlive = true;
    bool m_expectContinue = false;
    std::vector<std::pair<std::string_view, std::string_view>> m_headers;
};

}  // namespace quibra::pollserver
