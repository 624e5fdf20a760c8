// The PollServer's request head and chunked body decoding, on whatever a
// client sends: never a crash, and the same outcome whether the bytes come
// whole or in two pieces (the connection parses again as bytes arrive).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ChunkedBody.h"
#include "RequestHead.h"

using quibra::pollserver::ChunkedBody;
using quibra::pollserver::RequestHead;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte splits the rest into two pieces.
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t split = bytes.empty() ? 0 : data[0] % (bytes.size() + 1);
    const RequestHead::Limits limits{512, 1024};

    RequestHead whole;
    const auto state = whole.Parse(bytes, limits);
    RequestHead pieces;
    auto first = pieces.Parse(std::string_view(bytes).substr(0, split), limits);
    if (first == RequestHead::State::Incomplete) first = pieces.Parse(bytes, limits);
    // Complete on the first piece alone is complete on the whole too; a refusal may come earlier.
    if (first != state && first != RequestHead::State::Complete &&
        !(first == RequestHead::State::Refused && state != RequestHead::State::Complete))
        std::abort();
    if (state == RequestHead::State::Refused && whole.Status() == 0) std::abort();
    if (state != RequestHead::State::Complete) return 0;
    if (whole.HeadBytes() > bytes.size() || whole.Target().empty()) std::abort();
    whole.Header("content-length");

    // The rest as a chunked body, whole and in two pieces: the same data.
    const std::string_view rest = std::string_view(bytes).substr(whole.HeadBytes());
    ChunkedBody one(4096);
    std::string body;
    std::size_t used = 0;
    const auto bodyState = one.Feed(rest, body, used);
    if (used > rest.size() || body.size() > 4096) std::abort();
    ChunkedBody two(4096);
    std::string pieced;
    std::size_t usedFirst = 0;
    const std::size_t cut = std::min(rest.size(), split);
    auto twoState = two.Feed(rest.substr(0, cut), pieced, usedFirst);
    std::size_t usedSecond = 0;
    if (twoState == ChunkedBody::State::NeedMore && usedFirst == cut)
        twoState = two.Feed(rest.substr(cut), pieced, usedSecond);
    if (twoState == ChunkedBody::State::NeedMore && usedFirst != cut) std::abort();
    if (twoState == bodyState && bodyState == ChunkedBody::State::Done &&
        (pieced != body || usedFirst + usedSecond != used))
        std::abort();
    return 0;
}
