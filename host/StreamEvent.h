#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One change of the module as the PollServer's event stream tells it, read
// from a well-formed frame.
struct StreamEvent {
    enum class Kind { Open, Close, Publish, Ballot, Resync };

    Kind kind = Kind::Open;
    std::int64_t id = 0;  // positive, increasing in the server's commit order
    // Open, close, publish: the polls (may be empty for open); ballot: the one poll.
    std::vector<std::string> pollIds;
    // Ballot: the voter's user id as the server sent it (percent-encoded).
    std::string userId;

    // "open", "close", "publish", "ballot", "resync".
    static const char* KindName(Kind kind);
};
