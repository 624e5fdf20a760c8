// The numbers that servers, hosts and stored files share with the plug-in,
// pinned once.
#include <gtest/gtest.h>

#include <cstdint>

#include "polldata/PollStatus.h"
#include "polldata/PublishState.h"
#include "transport/HttpRequest.h"
#include "transport/PollJobs.h"
#include "transport/TaskNotice.h"

using namespace quibra;

TEST(ProtocolConstants, HoldTheirAgreedValues) {
    const HttpRequest request;
    const struct {
        const char* what;
        std::int64_t value;
        std::int64_t agreed;
    } constants[] = {
        {"poll state New", static_cast<std::int64_t>(PollStatus::New), 0x10000000},
        {"poll state Open", static_cast<std::int64_t>(PollStatus::Open), 0x20000000},
        {"poll state Closed", static_cast<std::int64_t>(PollStatus::Closed), 0x40000000},
        {"poll state D", static_cast<std::int64_t>(PollStatus::D), 0x80000000},
        {"publish state Published", static_cast<std::int64_t>(PublishState::Published), 0x10000000},
        {"publish state NotPublished", static_cast<std::int64_t>(PublishState::NotPublished),
         0x20000000},
        {"vote wait, ms", PollJobs::kVoteWait.count(), 15000},
        {"connect time-out of a new request, ms", request.ConnectTimeout(), 180000},
        {"task done notice", TaskDoneMessage, 1124},
        {"task failed notice", TaskFailedMessage, 1125},
    };
    for (const auto& c : constants) EXPECT_EQ(c.value, c.agreed) << c.what;
}
