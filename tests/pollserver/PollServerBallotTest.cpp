// Ballot rules and the privacy rules of the result replies.
#include <atomic>
#include <thread>

#include "PollServerTest.h"

namespace quibra::test {
namespace {

TEST_P(PollServerStoreTest, BallotsCountOnlyWhileThePollIsOpenAndNameExistingChoices) {
    const auto id = Session().Create("a7", "m1", "Q", "S", true, {{"A", "yes"}, {"B", "no"}});
    EXPECT_EQ(Session().Vote(id, "u1", "Ann", {"A"}), 409) << "a new poll takes no ballots";
    ASSERT_EQ(Session().SetStatus(id, "O", "0"), 200);
    EXPECT_EQ(Session().Vote(id, "u1", "Ann", {"A"}), 200);
    for (const char* status : {"C", "D"}) {
        ASSERT_EQ(Session().SetStatus(id, status, "0"), 200);
        EXPECT_EQ(Session().Vote(id, "u2", "Bob", {"B"}), 409)
            << "a poll in state " << status << " took a ballot";
    }
    EXPECT_EQ(Session().Vote("777777", "u2", "Bob", {"B"}), 404);
    EXPECT_EQ(Listed(id).Attr("UserCount") + "|" + Listed(id).Column("PostCount"), "1|1 0");

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
    EXPECT_EQ(Session().Vote(multi, "u1", "", {"A"}), 200)
        << "a voter without a display name still counts";
    EXPECT_EQ(Listed(single).Attr("UserCount") + "|" + Listed(single).Column("PostCount"),
              "0|0 0 0");

    ASSERT_EQ(Session().Vote(multi, "u2", "Bob", {"C", "A"}), 200);
    ASSERT_EQ(Session().Vote(multi, "u3", "Cy", {"B", "C", "A"}), 200);
    const auto record = Listed(multi);
    EXPECT_EQ(record.Attr("UserCount") + "|" + record.Column("PostCount"), "3|3 1 2");
    EXPECT_EQ(record.items[2].userNames, (Strings{"Bob", "Cy"}));
}

TEST_P(PollServerStoreTest, ASecondBallotOfTheSameUserReplacesTheFirst) {
    const auto single = OpenPoll("S", true);
    const auto multi = OpenPoll("M", true);
    ASSERT_EQ(Session().Vote(single, "u1", "Ann", {"A"}), 200);
    ASSERT_EQ(Session().Vote(single, "u2", "Bob", {"A"}), 200);
    ASSERT_EQ(Session().Vote(single, "u1", "Ann B.", {"C"}), 200);
    ASSERT_EQ(Session().Vote(multi, "u1", "Ann", {"A", "B"}), 200);
    ASSERT_EQ(Session().Vote(multi, "u1", "Ann", {"C"}), 200);
    // A refused second ballot leaves the first in place.
    ASSERT_EQ(Session().Vote(single, "u2", "Bob", {"Q"}), 400);

    const auto s = Listed(single);
    EXPECT_EQ(s.Attr("UserCount") + "|" + s.Column("PostCount"), "2|1 0 1");
    EXPECT_EQ(s.items[0].userNames, Strings{"Bob"});
    EXPECT_EQ(s.items[2].userNames, Strings{"Ann B."});
    EXPECT_EQ(Listed(multi).Attr("UserCount") + "|" + Listed(multi).Column("PostCount"), "1|0 0 1");
}

TEST_P(PollServerStoreTest, ConcurrentBallotsAreNeitherLostNorDoubleCounted) {
    const auto id = OpenPoll("M", true);
    constexpr int kThreads = 8;
    constexpr int kUsersPerThread = 40;
    std::atomic<int> refused{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
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
    }
    for (auto& thread : threads) thread.join();
    ASSERT_EQ(refused.load(), 0);

    const auto record = Listed(id);
    const int voters = kThreads * kUsersPerThread;
    EXPECT_EQ(record.Attr("UserCount"), std::to_string(voters));
    EXPECT_EQ(record.Column("PostCount"),
              "0 " + std::to_string(voters / 2) + " " + std::to_string(voters / 2));
    EXPECT_EQ(record.items[1].userNames.size() + record.items[2].userNames.size(),
              static_cast<std::size_t>(voters));
}

TEST_P(PollServerStoreTest, VotersOfAnAnonymousPollAreNeverSent) {
    const auto anonymous = OpenPoll("S", false);
    const auto identified = OpenPoll("S", true);
    const std::string secret = "SecretVoterName";
    ASSERT_EQ(Session().Vote(anonymous, "secret-user", secret, {"B"}), 200);
    ASSERT_EQ(Session().Vote(identified, "u1", "OpenVoter", {"B"}), 200);
    ASSERT_EQ(Session().SetStatus(anonymous, "C", "1"), 200);
    ASSERT_EQ(Session().SetStatus(identified, "C", "1"), 200);

    EXPECT_EQ(Listed(anonymous).Attr("UserCount") + "|" + Listed(anonymous).Column("PostCount"),
              "1|0 1 0");
    EXPECT_TRUE(Listed(anonymous).items[1].userNames.empty());
    EXPECT_EQ(Listed(identified).items[1].userNames, Strings{"OpenVoter"});

    const auto replies = Session().Everything({anonymous, identified});
    EXPECT_NE(replies.find("OpenVoter"), std::string::npos)
        << "the voters are sent where they may be";
    EXPECT_EQ(replies.find(secret), std::string::npos) << replies;
    EXPECT_EQ(replies.find("secret-user"), std::string::npos) << replies;
    // Not even the file keeps the name of an anonymous voter.
    if (OnPostgres()) return;
    ASSERT_NO_FATAL_FAILURE(Stop());
    EXPECT_EQ(ReadFileBytes(Database()).find(secret), std::string::npos);
}

TEST_P(PollServerStoreTest, PublishedResultsOnlyForPublishedPolls) {
    const auto published = OpenPoll("S", true);
    const auto hidden = OpenPoll("S", true);
    ASSERT_EQ(Session().Vote(published, "u1", "Ann", {"A"}), 200);
    ASSERT_EQ(Session().Vote(hidden, "u1", "Ann", {"A"}), 200);
    EXPECT_TRUE(Session().Published({published, hidden}).Records().empty());

    ASSERT_EQ(Session().SetStatus(published, "C", "1"), 200);
    ASSERT_EQ(Session().SetStatus(hidden, "C", "0"), 200);
    const auto results = Session().Published({hidden, published});
    ASSERT_EQ(results.Ids(), Strings{published});
    const auto& record = results.Records()[0];
    EXPECT_EQ(record.Attrs("IsPublish UserCount") + "|" + record.Column("PostCount"),
              "IsPublish=1 UserCount=1|1 0 0");
    EXPECT_EQ(record.items[0].userNames, Strings{"Ann"});

    // Withdrawn again: gone from the attendees' replies.
    ASSERT_EQ(Session().SetStatus(published, "", "0"), 200);
    EXPECT_TRUE(Session().Published({published}).Records().empty());
}

}  // namespace
}  // namespace quibra::test
