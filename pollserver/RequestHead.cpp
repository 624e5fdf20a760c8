#include "RequestHead.h"

#include <algorithm>

namespace quibra::pollserver {

namespace {

// Protocol text is compared byte by byte, never through the locale.
char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

bool IsTokenChar(char c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsTokenChar);
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// A line without its LF and the CR before it.
std::string_view WithoutEnd(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// Strict decimal, as Content-Length must be; nullopt past 2^63.
std::optional<std::uint64_t> Decimal(std::string_view text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

// True when the comma-separated list `value` holds `token` (case aside).
bool ListHas(std::string_view value, std::string_view token) {
    while (!value.empty()) {
        const auto comma = value.find(',');
        if (SameText(Trim(value.substr(0, comma)), token)) return true;
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
    }
    return false;
}

}  // namespace

RequestHead::State RequestHead::Refuse(int status) {
    m_status = status;
    return State::Refused;
}

RequestHead::State RequestHead::Parse(std::string_view bytes, const Limits& limits) {
    if (m_status != 0) return State::Refused;
    // The end of the head: an empty line (LF, or CR LF) right after a LF.
    std::size_t end = 0;
    for (std::size_t at = m_scanned; end == 0;) {
        const auto lf = bytes.find('\n', at);
        if (lf == std::string_view::npos) break;
        if (m_lineEnd == 0) m_lineEnd = lf + 1;
        if (lf + 1 < bytes.size() && bytes[lf + 1] == '\n')
            end = lf + 2;
        else if (lf + 2 < bytes.size() && bytes[lf + 1] == '\r' && bytes[lf + 2] == '\n')
            end = lf + 3;
        else if (lf + 2 >= bytes.size())
            break;  // the next bytes decide
        at = lf + 1;
    }
    // Bytes before the last LF (and its possible CR) are never searched again.
    if (end == 0) {
        const auto lastLf = bytes.rfind('\n');
        m_scanned = lastLf == std::string_view::npos ? 0 : lastLf;
    }

    const std::size_t lineBytes = m_lineEnd != 0 ? m_lineEnd : bytes.size();
    if (lineBytes > limits.maxRequestLine) return Refuse(414);
    const std::size_t headerBytes =
        (end != 0 ? end : bytes.size()) - std::min(lineBytes, bytes.size());
    if (headerBytes > limits.maxHeaderBytes) return Refuse(431);
    if (end == 0) return State::Incomplete;

    m_headBytes = end;
    // The head keeps its own copy: the caller's buffer moves as the body arrives.
    m_text.assign(bytes.data(), end);
    const std::string_view text = m_text;
    if (!ParseRequestLine(WithoutEnd(text.substr(0, m_lineEnd)))) return Refuse(400);
    std::string_view rest = text.substr(m_lineEnd);
    for (;;) {
        const auto lf = rest.find('\n');
        const auto line = WithoutEnd(rest.substr(0, lf + 1));
        rest.remove_prefix(lf + 1);
        if (line.empty()) break;
        // Folded continuation lines are obsolete and refused (RFC 9112, 5.2).
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) return Refuse(400);
        if (!TakeHeader(line.substr(0, colon), Trim(line.substr(colon + 1))))
            return Refuse(m_status != 0 ? m_status : 400);
    }
    // Both framings at once is how requests are smuggled past proxies.
    if (m_chunked && m_contentLength) return Refuse(400);
    return State::Complete;
}

bool RequestHead::ParseRequestLine(std::string_view line) {
    const auto first = line.find(' ');
    const auto last = line.rfind(' ');
    if (first == std::string_view::npos || first == last) return false;
    m_method = line.substr(0, first);
    m_target = line.substr(first + 1, last - first - 1);
    const auto version = line.substr(last + 1);
    if (!IsToken(m_method) || m_target.empty() ||
        m_target.find_first_of(" \t\r") != std::string_view::npos)
        return false;
    if (version == "HTTP/1.1") {
        m_http11 = true;
    } else if (version == "HTTP/1.0") {
        m_http11 = false;
        m_keepAlive = false;
    } else {
        return false;
    }
    return true;
}

bool RequestHead::TakeHeader(std::string_view name, std::string_view value) {
    m_headers.emplace_back(name, value);
    if (SameText(name, "content-length")) {
        const auto length = Decimal(value);
        if (!length || (m_contentLength && *m_contentLength != *length)) return false;
        m_contentLength = length;
    } else if (SameText(name, "transfer-encoding")) {
        // Only chunked is known; any other coding cannot be framed.
        if (!SameText(value, "chunked")) {
            m_status = 501;
            return false;
        }
        m_chunked = true;
    } else if (SameText(name, "connection")) {
        if (ListHas(value, "close"))
            m_keepAlive = false;
        else if (ListHas(value, "keep-alive"))
            m_keepAlive = true;
    } else if (SameText(name, "expect")) {
        m_expectContinue = SameText(value, "100-continue");
    }
    return true;
}

std::optional<std::string_view> RequestHead::Header(std::string_view name) const {
    for (const auto& [key, value] : m_headers)
        if (SameText(key, name)) return value;
    return std::nullopt;
}

}  // namespace quibra::pollserver
