#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "StreamEvent.h"

// Reads the PollServer's event stream (Server-Sent Events: "field: value"
// lines, LF line ends, a blank line ends a frame) as its bytes arrive, in
// pieces of any size. A frame comes out only when every line of it is well
// formed: known fields, each at most once, a positive id, a known event and
// the data that event needs. A line over kMaxLine bytes is never buffered
// whole; it and the frame it belongs to are dropped. Comment lines
// (keep-alives) are skipped. Locale-free. One thread at a time.
class EventFrameParser {
public:
    static constexpr std::size_t kMaxLine = 64 * 1024;

    // Well-formed frames go to `events`, in order; a line of `dropped` says
    // why each dropped frame was dropped.
    void Feed(std::string_view bytes, std::vector<StreamEvent>& events,
              std::vector<std::string>& dropped);
    // A new connection: a partial line or frame of the last one is forgotten.
    void Reset();

private:
    void OnLine(std::string_view line, std::vector<StreamEvent>& events,
                std::vector<std::string>& dropped);
    void EndFrame(std::vector<StreamEvent>& events, std::vector<std::string>& dropped);
    void Spoil(std::string why);
    void ClearFrame();

    std::string m_line;
    bool m_skippingLine = false;  // the current line is over the limit
    bool m_inFrame = false;       // a field line was read since the last frame
    std::string m_spoiled;        // why the current frame will be dropped
    bool m_hasId = false, m_hasEvent = false, m_hasData = false;
    std::string m_id, m_event, m_data;
};
