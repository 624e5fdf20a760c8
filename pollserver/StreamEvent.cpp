#include "StreamEvent.h"

#include "PollStore.h"

namespace quibra::pollserver {

std::string StreamEvent::Frame() const {
    return Frame(id, kind, kind == "ballot" ? polls + "," + LineSafe(voter) : polls);
}

std::string StreamEvent::Frame(std::int64_t id, std::string_view kind, std::string_view data) {
    std::string frame = "id: " + std::to_string(id) + "\nevent: ";
    frame += kind;
    frame += "\ndata:";
    if (!data.empty()) {
        frame += ' ';
        frame += data;
    }
    frame += "\n\n";
    return frame;
}

std::string StreamEvent::LineSafe(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string safe;
    safe.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '%' || byte < 0x20 || byte == 0x7F) {
            safe += '%';
            safe += kHex[byte >> 4];
            safe += kHex[byte & 0x0F];
        } else {
            safe += c;
        }
    }
    return safe;
}

std::vector<StreamEvent> StreamEvent::ForStatus(const std::vector<StatusChange>& changes,
                                                const std::vector<std::string>& modules) {
    std::vector<StreamEvent> events;
    auto add = [&](const std::string& module, const char* kind, std::int64_t pollId) {
        for (auto& event : events) {
            if (event.module != module || event.kind != kind) continue;
            event.polls += "," + std::to_string(pollId);
            return;
        }
        events.push_back({0, module, kind, std::to_string(pollId), {}, {}});
    };
    for (const char* kind : {"open", "close", "publish"}) {
        for (std::size_t i = 0; i < changes.size() && i < modules.size(); ++i) {
            const auto& change = changes[i];
            const bool fits = kind[0] == 'p' ? change.published.value_or(false)
                                             : change.status == (kind[0] == 'o' ? 'O' : 'C');
            if (fits) add(modules[i], kind, change.pollId);
        }
    }
    return events;
}

}  // namespace quibra::pollserver
