#include "ChunkedBody.h"

#include <algorithm>

namespace quibra::pollserver {

namespace {

// A size line, a trailer line and all trailer lines together stay this short.
constexpr std::size_t kMaxLine = 1024;
constexpr std::size_t kMaxTrailer = 16384;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool ChunkedBody::Gather(std::string_view& bytes, std::size_t& used, bool& complete) {
    const auto lf = bytes.find('\n');
    const auto take = lf == std::string_view::npos ? bytes.size() : lf + 1;
    if (m_line.size() + take > kMaxLine) return false;
    m_line.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    used += take;
    complete = lf != std::string_view::npos;
    if (complete) {
        m_line.pop_back();
        if (!m_line.empty() && m_line.back() == '\r') m_line.pop_back();
    }
    return true;
}

ChunkedBody::State ChunkedBody::Feed(std::string_view bytes, std::string& body, std::size_t& used) {
    used = 0;
    while (m_state == State::NeedMore && !bytes.empty()) {
        bool complete = false;
        switch (m_part) {
            case Part::Size: {
                if (!Gather(bytes, used, complete)) return m_state = State::Malformed;
                if (!complete) break;
                std::uint64_t size = 0;
                std::size_t digits = 0;
                for (; digits < m_line.size() && HexDigit(m_line[digits]) >= 0; ++digits) {
                    if (size > (UINT64_MAX >> 4)) return m_state = State::TooLarge;
                    size = size * 16 + static_cast<std::uint64_t>(HexDigit(m_line[digits]));
                }
                const char after = digits < m_line.size() ? m_line[digits] : '\0';
                if (digits == 0 || (after != '\0' && after != ';' && after != ' ' && after != '\t'))
                    return m_state = State::Malformed;
                m_line.clear();
                if (size > m_maxBody - m_total) return m_state = State::TooLarge;
                m_left = size;
                m_part = size == 0 ? Part::Trailer : Part::Data;
                break;
            }
            case Part::Data: {
                const auto take =
                    static_cast<std::size_t>(std::min<std::uint64_t>(m_left, bytes.size()));
                body.append(bytes.substr(0, take));
                bytes.remove_prefix(take);
                used += take;
                m_left -= take;
                m_total += take;
                if (m_left == 0) m_part = Part::DataEnd;
                break;
            }
            case Part::DataEnd:
                if (!Gather(bytes, used, complete)) return m_state = State::Malformed;
                if (!complete) break;
                if (!m_line.empty()) return m_state = State::Malformed;
                m_part = Part::Size;
                break;
            case Part::Trailer:
                if (!Gather(bytes, used, complete)) return m_state = State::Malformed;
                if (!complete) break;
                m_trailerBytes += m_line.size() + 2;
                if (m_trailerBytes > kMaxTrailer) return m_state = State::Malformed;
                if (m_line.empty()) m_state = State::Done;
                m_line.clear();
                break;
        }
    }
    return m_state;
}

}  // namespace quibra::pollserver
