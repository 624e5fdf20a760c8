#include <gtest/gtest.h>

#include "polldata/PollStatus.h"
#include "polldata/PublishState.h"

using namespace quibra;

// The letters and flags of the replies and commands; the values themselves are
// pinned with the other protocol constants.
TEST(PollStatusTest, OnlyTheFourExactLettersAreStatesAndOnlyZeroIsNotPublished) {
    const std::pair<const wchar_t*, PollStatus> states[] = {{L"N", PollStatus::New},
                                                            {L"O", PollStatus::Open},
                                                            {L"C", PollStatus::Closed},
                                                            {L"D", PollStatus::D}};
    for (const auto& [letter, state] : states) {
        EXPECT_EQ(PollStatusFromLetter(letter), state) << letter;
        EXPECT_TRUE(IsKnownPollStatus(state)) << letter;
        EXPECT_EQ(PollStatusLetter(state), letter);
    }
    for (const wchar_t* other : {L"", L"n", L"o", L"X", L"NO", L" N", L"0"})
        EXPECT_EQ(PollStatusFromLetter(other), PollStatus::None) << other;
    // A value that is not exactly one state has no letter, so it is never sent.
    for (PollStatus unknown :
         {PollStatus::None, static_cast<PollStatus>(PollStatus::New | PollStatus::Open)}) {
        EXPECT_EQ(PollStatusLetter(unknown), L"");
        EXPECT_FALSE(IsKnownPollStatus(unknown));
    }
    EXPECT_TRUE(PollStatusInMask(PollStatus::Closed, PollStatus::New | PollStatus::Closed));
    EXPECT_FALSE(PollStatusInMask(PollStatus::Open, PollStatus::New | PollStatus::Closed));

    EXPECT_EQ(PublishStateFromText(L"0"), PublishState::NotPublished);
    for (const wchar_t* other : {L"", L"1", L"00", L" 0", L"false"})
        EXPECT_EQ(PublishStateFromText(other), PublishState::Published) << other;
    EXPECT_EQ(PublishStateFlag(PublishState::Published), L"1");
    EXPECT_EQ(PublishStateFlag(PublishState::None), L"0");
}
