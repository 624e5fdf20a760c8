#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quibra {

// The state of a poll on the server, one bit per state so that the console's
// commands can test a status against a mask of allowed states.
enum class PollStatus : std::uint32_t {
    None = 0,
    New = 0x10000000,     // "N": created, not posted yet
    Open = 0x20000000,    // "O": posted, attendees may answer
    Closed = 0x40000000,  // "C": stopped
    D = 0x80000000,       // "D": the server's own state, only stored and carried through
};

// "N", "O", "C" or "D" (case-sensitive); anything else, the empty text included, is None.
PollStatus PollStatusFromLetter(std::wstring_view letter);
// The letter of one of the four states; the empty string for None and for any
// value that is not exactly one of them.
std::wstring PollStatusLetter(PollStatus status);
// Whether `status` is exactly one of the four states.
bool IsKnownPollStatus(PollStatus status);
// Whether the status has a bit in common with `mask` (an OR of PollStatus values).
bool PollStatusInMask(PollStatus status, std::uint32_t mask);

constexpr std::uint32_t operator|(PollStatus a, PollStatus b) {
    return static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b);
}

}  // namespace quibra
