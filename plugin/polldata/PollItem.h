#pragma once

#include <string>
#include <vector>

namespace quibra {

// One choice of a poll, as the server lists it.
struct PollItem {
    std::wstring pollId;    // the owning record's poll id
    std::wstring itemName;  // "A" to "G" for polls made in the question editor
    std::wstring content;
    int postCount = 0;  // -1 when the reply gave none
    // Filled only when postCount > 0, and only for identified polls by the server.
    std::vector<std::wstring> voterNames;
};

}  // namespace quibra
