#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "polldata/PollStatus.h"
#include "polldata/PublishState.h"

using quibra::PollStatus;
using quibra::PublishState;

TEST(PollStatusTest, OnlyTheFourExactLettersAreStates) {
    // The values are fixed: the console tests statuses against masks of them.
    const std::pair<const wchar_t*, uint32_t> states[] = {
        {L"N", 0x10000000}, {L"O", 0x20000000}, {L"C", 0x40000000}, {L"D", 0x80000000}};
    for (const auto& [letter, value] : states) {
        const PollStatus status = quibra::PollStatusFromLetter(letter);
        EXPECT_EQ(static_cast<uint32_t>(status), value) << letter;
        EXPECT_TRUE(quibra::IsKnownPollStatus(status)) << letter;
        EXPECT_EQ(quibra::PollStatusLetter(status), letter);
    }
    for (const wchar_t* other : {L"", L"n", L"o", L"X", L"NO", L" N", L"0"})
        EXPECT_EQ(quibra::PollStatusFromLetter(other), PollStatus::None) << other;

    // A value that is not exactly one state has no letter, so it is never sent.
    const auto mixed = static_cast<PollStatus>(PollStatus::New | PollStatus::Open);
    for (PollStatus unknown : {PollStatus::None, mixed}) {
        EXPECT_EQ(quibra::PollStatusLetter(unknown), L"");
        EXPECT_FALSE(quibra::IsKnownPollStatus(unknown));
    }
    EXPECT_TRUE(quibra::PollStatusInMask(PollStatus::Closed, PollStatus::New | PollStatus::Closed));
    EXPECT_FALSE(quibra::PollStatusInMask(PollStatus::Open, PollStatus::New | PollStatus::Closed));
}

TEST(PublishStateTest, OnlyZeroIsNotPublished) {
    EXPECT_EQ(quibra::PublishStateFromText(L"0"), PublishState::NotPublished);
    for (const wchar_t* other : {L"", L"1", L"00", L" 0", L"false"})
        EXPECT_EQ(quibra::PublishStateFromText(other), PublishState::Published) << other;
    EXPECT_EQ(static_cast<uint32_t>(PublishState::Published), 0x10000000u);
    EXPECT_EQ(static_cast<uint32_t>(PublishState::NotPublished), 0x20000000u);
    EXPECT_EQ(quibra::PublishStateFlag(PublishState::Published), L"1");
    EXPECT_EQ(quibra::PublishStateFlag(PublishState::None), L"0");
}
