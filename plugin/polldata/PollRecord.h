#pragma once

#include <string>
#include <vector>

#include "polldata/PollItem.h"
#include "polldata/PollStatus.h"
#include "polldata/PublishState.h"

namespace quibra {

// One poll with its choices in server order. A default record is an empty new
// poll for the question editor.
struct PollRecord {
    std::wstring pollId;
    std::wstring title;
    bool singleChoice = false;
    bool identified = false;  // voters are identified ("IsSign")
    int voterCount = 0;       // -1 when the reply gave none
    std::vector<PollItem> items;
    PollStatus status = PollStatus::None;
    // Set by the console's commands just before a status change is sent.
    PollStatus requestedStatus = PollStatus::None;
    PublishState publishState = PublishState::None;
    // Set by the publish command just before it is sent.
    PublishState requestedPublishState = PublishState::None;
};

}  // namespace quibra
