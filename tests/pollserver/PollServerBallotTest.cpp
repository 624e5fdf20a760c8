// Ballot rules and the privacy rules of the result replies.
#include <atomic>

#include "PollServerTest.h"

namespace quibra::test {
namespace {

// "UserCount|PostCount of each choice" of a listed poll.
std::string Counts(const PollListReply::Record& record) {
    return record.Attr("UserCount") + "|" + record.Column("PostCount");
}

TEST_P(PollServerStoreTest, BallotsCountWhileThePollIsOpenAndReplaceTheVotersFormerBallot) {
    const auto id = Session().Create("a7", "m1", "Q", "S", true, {{"A", "yes"}, {"B", "no"}});
    EXPECT_EQ(Session().Vote(id, "u1", "Ann", {"A"}), 409) << "a new poll takes no ballots";
    ASSERT_EQ(Session().SetStatus(id, "O", "0"), 200);
    EXPECT_EQ(Session().Vote(id, "u1", "Ann", {"A"}), 200);
    for (const char* status : {"C", "D"}) {
        ASSERT_EQ(Session().SetStatus(id, status, "0"), 200);
        EXPECT_EQ(Session().Vote(id, "u2", "Bob", {"B"}), 409) << "state " << status;
    }
    EXPECT_EQ(Session().Vote("777777", "u2", "Bob", {"B"}), 404);
    EXPECT_EQ(Counts(Listed(id)), "1|1 0");

    const auto single = OpenPoll("S", true);
    const auto multi = OpenPoll("M", true);
    const std::vector<std::pair<std::string, Strings>> refused = {
        {single, {"Z"}},
        {single, {"a"}} /* names are exact */,
        {single, {"A", "B"}},
        {single, {}},
        {multi, {"A", "A"}} /* one choice counted twice */,
        {multi, {"A", "Z"}} /* half a ballot is no ballot */};
    for (const auto& [poll, choices] : refused)
        EXPECT_EQ(Session().Vote(poll, "u1", "Ann", choices), 400)
            << ::testing::PrintToString(choices);
    EXPECT_EQ(Session().Vote(single, "", "X", {"A"}), 400) << "a ballot without a voter";
    EXPECT_EQ(Counts(Listed(single)), "0|0 0 0");

    // A second ballot of the same voter replaces the first; a refused one leaves it.
    ASSERT_EQ(Session().Vote(single, "u1", "Ann", {"A"}), 200);
    ASSERT_EQ(Session().Vote(single, "u2", "Bob", {"A"}), 200);
    ASSERT_EQ(Session().Vote(single, "u1", "Ann B.", {"C"}), 200);
    ASSERT_EQ(Session().Vote(single, "u2", "Bob", {"Q"}), 400);
    EXPECT_EQ(Counts(Listed(single)), "2|1 0 1");
    EXPECT_EQ(Listed(single).items[0].userNames, Strings{"Bob"});
    EXPECT_EQ(Listed(single).items[2].userNames, Strings{"Ann B."});

    EXPECT_EQ(Session().Vote(multi, "u1", "", {"A", "B"}), 200)
        << "a voter without a display name still counts";
    ASSERT_EQ(Session().Vote(multi, "u1", "", {"C"}), 200);
    EXPECT_EQ(Counts(Listed(multi)), "1|0 0 1");
    ASSERT_EQ(Session().Vote(multi, "u2", "Bob", {"C", "A"}), 200);
    ASSERT_EQ(Session().Vote(multi, "u3", "Cy", {"B", "C", "A"}), 200);
    EXPECT_EQ(Counts(Listed(multi)), "3|2 1 3");
    EXPECT_EQ(Listed(multi).items[0].userNames, (Strings{"Bob", "Cy"}));
}

TEST_P(PollServerStoreTest, ConcurrentBallotsAreNeitherLostNorDoubleCounted) {
    const auto id = OpenPoll("M", true);
    constexpr int kThreads = 8;
    constexpr int kUsersPerThread = 40;
    std::atomic<int> refused{0};
    OnThreads(kThreads, [&](int t) {
        PollServerSession session(m_server.HttpUrl());
        for (int u = 0; u < kUsersPerThread; ++u) {
            const auto user = "t" + std::to_string(t) + "u" + std::to_string(u);
            // Every user answers twice; only the second ballot may count. A
            // bad ballot in between is refused alone, whatever shares its commit.
            if (session.Vote(id, user, user, {"A", "B"}) != 200) ++refused;
            if (session.Vote(id, user, user, {u % 2 == 0 ? "B" : "C"}) != 200) ++refused;
            if (session.Vote(id, user, user, {"A", "Z"}) != 400) ++refused;
        }
    });
    ASSERT_EQ(refused.load(), 0);

    const auto record = Listed(id);
    const auto half = std::to_string(kThreads * kUsersPerThread / 2);
    EXPECT_EQ(Counts(record),
              std::to_string(kThreads * kUsersPerThread) + "|0 " + half + " " + half);
    EXPECT_EQ(record.items[1].userNames.size() + record.items[2].userNames.size(),
              static_cast<std::size_t>(kThreads * kUsersPerThread));
}

TEST_P(PollServerStoreTest, VotersOfAnAnonymousPollAreNeverSentAndResultsOnlyWhenPublished) {
    const auto anonymous = OpenPoll("S", false);
    const auto identified = OpenPoll("S", true);
    const std::string secret = "SecretVoterName";
    ASSERT_EQ(Session().Vote(anonymous, "secret-user", secret, {"B"}), 200);
    ASSERT_EQ(Session().Vote(identified, "u1", "OpenVoter", {"B"}), 200);
    EXPECT_TRUE(Session().Published({anonymous, identified}).Records().empty());
    ASSERT_EQ(Session().SetStatus(anonymous, "C", "1"), 200);
    ASSERT_EQ(Session().SetStatus(identified, "C", "0"), 200);

    EXPECT_EQ(Counts(Listed(anonymous)), "1|0 1 0");
    EXPECT_TRUE(Listed(anonymous).items[1].userNames.empty());
    EXPECT_EQ(Listed(identified).items[1].userNames, Strings{"OpenVoter"});
    const auto published = Session().Published({identified, anonymous});
    ASSERT_EQ(published.Ids(), Strings{anonymous});
    EXPECT_EQ(published.Records()[0].Attr("IsPublish") + Counts(published.Records()[0]),
              "11|0 1 0");

    ASSERT_EQ(Session().SetStatus(identified, "", "1"), 200);
    const auto replies = Session().Everything({anonymous, identified});
    EXPECT_NE(replies.find("OpenVoter"), std::string::npos) << "voters are sent where they may be";
    EXPECT_EQ(replies.find(secret), std::string::npos) << replies;
    EXPECT_EQ(replies.find("secret-user"), std::string::npos) << replies;
    EXPECT_EQ(Session().Published({identified}).Records().at(0).items[1].userNames,
              Strings{"OpenVoter"});

    // Withdrawn again: gone from the attendees' replies.
    ASSERT_EQ(Session().SetStatus(identified, "", "0"), 200);
    EXPECT_EQ(Session().Published({identified, anonymous}).Ids(), Strings{anonymous});
    // Not even the file keeps the name of an anonymous voter.
    if (OnPostgres()) return;
    ASSERT_NO_FATAL_FAILURE(Stop());
    EXPECT_EQ(ReadFileBytes(Database()).find(secret), std::string::npos);
}

}  // namespace
}  // namespace quibra::test
