#include "polldata/PollStatus.h"

namespace quibra {

PollStatus PollStatusFromLetter(std::wstring_view letter) {
    if (letter == L"N") return PollStatus::New;
    if (letter == L"O") return PollStatus::Open;
    if (letter == L"C") return PollStatus::Closed;
    if (letter == L"D") return PollStatus::D;
    return PollStatus::None;
}

std::wstring PollStatusLetter(PollStatus status) {
    switch (status) {
        case PollStatus::New:
            return L"N";
        case PollStatus::Open:
            return L"O";
        case PollStatus::Closed:
            return L"C";
        case PollStatus::D:
            return L"D";
        case PollStatus::None:
            break;
    }
    return {};
}

bool IsKnownPollStatus(PollStatus status) {
    return !PollStatusLetter(status).empty();
}

bool PollStatusInMask(PollStatus status, std::uint32_t mask) {
    return (static_cast<std::uint32_t>(status) & mask) != 0;
}

}  // namespace quibra
