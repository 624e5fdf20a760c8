#include "EventFrameParser.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace {

// A positive decimal number without sign, spaces or leading zeros that fits
// 63 bits; by hand, so no locale takes part.
std::optional<std::int64_t> PositiveNumber(std::string_view text) {
    if (text.empty() || text.size() > 18 || text.front() == '0') return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "3,4": the ids in order; false for anything else. An empty list is allowed
// only where `emptyOk`.
bool PollIds(std::string_view text, bool emptyOk, std::vector<std::string>& ids) {
    if (text.empty()) return emptyOk;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view id = text.substr(0, comma);
        if (!PositiveNumber(id)) return false;
        ids.emplace_back(id);
        if (comma == std::string_view::npos) return true;
        text.remove_prefix(comma + 1);
    }
}

std::optional<StreamEvent::Kind> KindOf(std::string_view name) {
    for (const auto kind :
         {StreamEvent::Kind::Open, StreamEvent::Kind::Close, StreamEvent::Kind::Publish,
          StreamEvent::Kind::Ballot, StreamEvent::Kind::Resync})
        if (name == StreamEvent::KindName(kind)) return kind;
    return std::nullopt;
}

// A value as it may appear in a log line: bounded, control bytes shown as '?'.
std::string Shown(std::string_view value) {
    std::string out(value.substr(0, 40));
    std::replace_if(
        out.begin(), out.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '?');
    return value.size() > 40 ? out + "..." : out;
}

}  // namespace

void EventFrameParser::Reset() {
    m_line.clear();
    m_skippingLine = false;
    ClearFrame();
}

void EventFrameParser::ClearFrame() {
    m_inFrame = false;
    m_spoiled.clear();
    m_hasId = m_hasEvent = m_hasData = false;
    m_id.clear();
    m_event.clear();
    m_data.clear();
}

void EventFrameParser::Spoil(std::string why) {
    if (m_spoiled.empty()) m_spoiled = std::move(why);
}

void EventFrameParser::Feed(std::string_view bytes, std::vector<StreamEvent>& events,
                            std::vector<std::string>& dropped) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (!m_skippingLine) {
            if (m_line.size() + piece.size() > kMaxLine) {
                // Not kept: the rest of the line is skipped as it comes.
                m_line.clear();
                m_skippingLine = true;
                m_inFrame = true;
                Spoil("a line over 64 KiB");
            } else {
                m_line.append(piece);
            }
        }
        if (end == std::string_view::npos) return;
        bytes.remove_prefix(end + 1);
        if (m_skippingLine) {
            m_skippingLine = false;
            continue;
        }
        std::string_view line(m_line);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        OnLine(line, events, dropped);
        m_line.clear();
    }
}

void EventFrameParser::OnLine(std::string_view line, std::vector<StreamEvent>& events,
                              std::vector<std::string>& dropped) {
    if (line.empty()) {
        EndFrame(events, dropped);
        return;
    }
    if (line.front() == ':') return;  // a comment: the server's keep-alive
    m_inFrame = true;
    const std::size_t colon = line.find(':');
    const std::string_view name = line.substr(0, colon);
    std::string_view value =
        colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
    if (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    auto take = [&](bool& has, std::string& into) {
        if (has) return Spoil("a second \"" + std::string(name) + "\" line");
        has = true;
        into.assign(value);
    };
    if (name == "id")
        take(m_hasId, m_id);
    else if (name == "event")
        take(m_hasEvent, m_event);
    else if (name == "data")
        take(m_hasData, m_data);
    else if (name != "retry")  // the reconnection hint; the host keeps its own backoff
        Spoil("an unknown field \"" + Shown(name) + "\"");
}

void EventFrameParser::EndFrame(std::vector<StreamEvent>& events,
                                std::vector<std::string>& dropped) {
    if (!m_inFrame) return;  // blank lines between frames, or only comments
    StreamEvent event;
    const auto id = PositiveNumber(m_id);
    const auto kind = KindOf(m_event);
    if (!m_hasId || !id)
        Spoil(m_hasId ? "the id \"" + Shown(m_id) + "\" is not a positive number" : "no id");
    else if (!m_hasEvent || !kind)
        Spoil(m_hasEvent ? "an unknown event \"" + Shown(m_event) + "\"" : "no event");
    if (m_spoiled.empty()) {
        event.id = *id;
        event.kind = *kind;
        switch (event.kind) {
            case StreamEvent::Kind::Open:
            case StreamEvent::Kind::Close:
            case StreamEvent::Kind::Publish:
                if (!PollIds(m_data, event.kind == StreamEvent::Kind::Open, event.pollIds))
                    Spoil("the poll ids \"" + Shown(m_data) + "\" are not a list of ids");
                break;
            case StreamEvent::Kind::Ballot: {
                const std::size_t comma = m_data.find(',');
                const std::string_view poll = std::string_view(m_data).substr(0, comma);
                const std::string_view user = comma == std::string::npos
                                                  ? std::string_view()
                                                  : std::string_view(m_data).substr(comma + 1);
                const bool control = std::any_of(user.begin(), user.end(), [](char c) {
                    return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
                });
                if (!PositiveNumber(poll) || user.empty() || control)
                    Spoil("the ballot \"" + Shown(m_data) + "\" is not a poll id and a user id");
                event.pollIds.emplace_back(poll);
                event.userId.assign(user);
                break;
            }
            case StreamEvent::Kind::Resync:
                if (!m_data.empty()) Spoil("a resync with data");
                break;
        }
    }
    if (m_spoiled.empty())
        events.push_back(std::move(event));
    else
        dropped.push_back(m_spoiled);
    ClearFrame();
}
