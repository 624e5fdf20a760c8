#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quibra::pollserver {

// Decodes a body sent with chunked transfer coding as its bytes arrive, in
// any pieces: the chunk sizes (extensions ignored), the data, the trailer
// lines (read and dropped). A body past its bound is refused as soon as a
// chunk's size says so, before its data is read.
class ChunkedBody {
public:
    enum class State { NeedMore, Done, Malformed, TooLarge };

    explicit ChunkedBody(std::size_t maxBody) : m_maxBody(maxBody) {}

    // Takes what it can of `bytes`, appending data to `body`; `used` is how
    // many bytes it consumed (the rest, after Done, is the next request's).
    State Feed(std::string_view bytes, std::string& body, std::size_t& used);

private:
    enum class Part { Size, Data, DataEnd, Trailer };
    // One line of a size or a trailer, gathered across pieces; false when too long.
    bool Gather(std::string_view& bytes, std::size_t& used, bool& complete);

    std::size_t m_maxBody;
    Part m_part = Part::Size;
    std::uint64_t m_left = 0;  // data bytes left in the chunk
    std::size_t m_total = 0;   // data bytes so far
    std::size_t m_trailerBytes = 0;
    std::string m_line;
    State m_state = State::NeedMore;
};

}  // namespace quibra::pollserver
