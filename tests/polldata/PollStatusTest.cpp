#include <gtest/gtest.h>

#include "polldata/PollStatus.h"
#include "polldata/PublishState.h"

using quibra::PollStatus;
using quibra::PublishState;

TEST(PollStatusTest, LettersMapBothWaysAndOnlyTheFourStatesHaveOne) {
    const struct {
        const wchar_t* letter;
        PollStatus status;
        std::uint32_t value;
    } states[] = {{L"N", PollStatus::New, 0x10000000},
                  {L"O", PollStatus::Open, 0x20000000},
                  {L"C", PollStatus::Closed, 0x40000000},
                  {L"D", PollStatus::D, 0x80000000}};
    for (const auto& s : states) {
        EXPECT_EQ(quibra::PollStatusFromLetter(s.letter), s.status) << s.letter;
        EXPECT_EQ(static_cast<std::uint32_t>(s.status), s.value) << s.letter;
        EXPECT_EQ(quibra::PollStatusLetter(s.status), s.letter);
        EXPECT_TRUE(quibra::IsKnownPollStatus(s.status));
    }
    for (const wchar_t* other : {L"", L"n", L"o", L"X", L"NO", L" N", L"0"})
        EXPECT_EQ(quibra::PollStatusFromLetter(other), PollStatus::None) << other;

    EXPECT_EQ(quibra::PollStatusLetter(PollStatus::None), L"");
    const auto mixed = static_cast<PollStatus>(PollStatus::New | PollStatus::Open);
    EXPECT_EQ(quibra::PollStatusLetter(mixed), L"");
    EXPECT_FALSE(quibra::IsKnownPollStatus(mixed));
    EXPECT_FALSE(quibra::IsKnownPollStatus(static_cast<PollStatus>(1)));
}

TEST(PollStatusTest, MasksSelectStates) {
    const std::uint32_t newOrClosed = PollStatus::New | PollStatus::Closed;
    EXPECT_TRUE(quibra::PollStatusInMask(PollStatus::New, newOrClosed));
    EXPECT_TRUE(quibra::PollStatusInMask(PollStatus::Closed, newOrClosed));
    EXPECT_FALSE(quibra::PollStatusInMask(PollStatus::Open, newOrClosed));
    EXPECT_FALSE(quibra::PollStatusInMask(PollStatus::D, newOrClosed));
    EXPECT_FALSE(quibra::PollStatusInMask(PollStatus::None, 0xFFFFFFFF));
}

TEST(PublishStateTest, OnlyZeroIsNotPublished) {
    EXPECT_EQ(quibra::PublishStateFromText(L"0"), PublishState::NotPublished);
    for (const wchar_t* other : {L"", L"1", L"00", L" 0", L"false"})
        EXPECT_EQ(quibra::PublishStateFromText(other), PublishState::Published) << other;
    EXPECT_EQ(static_cast<std::uint32_t>(PublishState::Published), 0x10000000u);
    EXPECT_EQ(static_cast<std::uint32_t>(PublishState::NotPublished), 0x20000000u);

    EXPECT_EQ(quibra::PublishStateFlag(PublishState::Published), L"1");
    EXPECT_EQ(quibra::PublishStateFlag(PublishState::NotPublished), L"0");
    EXPECT_EQ(quibra::PublishStateFlag(PublishState::None), L"0");
}
