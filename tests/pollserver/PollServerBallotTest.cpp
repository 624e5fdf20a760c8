// Ballot rules and the privacy rules of the result replies.
#include <atomic>
#include <thread>

#include "PollServerTest.h"

namespace quibra::test {
namespace {

std::vector<std::string> Counts(const PollListReply::Record& record) {
    std::vector<std::string> counts;
    for (const auto& item : record.items) counts.push_back(item.attributes.at("PostCount"));
    return counts;
}

using Strings = std::vector<std::string>;

TEST_F(PollServerTest, BallotsCountOnlyWhileThePollIsOpen) {
    const auto id = Session().Create("a7", "m1", "Q", "S", true, {{"A", "yes"}, {"B", "no"}});
    EXPECT_EQ(Session().Vote(id, "u1", "Ann", {"A"}), 409) << "a new poll takes no ballots";
    ASSERT_EQ(Session().SetStatus(id, "O", "0"), 200);
    EXPECT_EQ(Session().Vote(id, "u1", "Ann", {"A"}), 200);
    ASSERT_EQ(Session().SetStatus(id, "C", "0"), 200);
    EXPECT_EQ(Session().Vote(id, "u2", "Bob", {"B"}), 409) << "a closed poll takes no ballots";
    ASSERT_EQ(Session().SetStatus(id, "D", "0"), 200);
    EXPECT_EQ(Session().Vote(id, "u2", "Bob", {"B"}), 409);
    EXPECT_EQ(Session().Vote("777777", "u2", "Bob", {"B"}), 404);

    const auto record = *Session().List("a7", "m1").Find(id);
    EXPECT_EQ(record.Attr("UserCount"), "1");
    EXPECT_EQ(Counts(record), (Strings{"1", "0"}));
}

TEST_F(PollServerTest, BallotsNameExistingChoicesAndOneOnlyForASingleAnswerPoll) {
    const auto single = OpenPoll("S", true);
    const auto multi = OpenPoll("M", true);
    EXPECT_EQ(Session().Vote(single, "u1", "Ann", {"Z"}), 400);
    EXPECT_EQ(Session().Vote(single, "u1", "Ann", {"a"}), 400) << "choice names are exact";
    EXPECT_EQ(Session().Vote(single, "u1", "Ann", {"A", "B"}), 400);
    EXPECT_EQ(Session().Vote(single, "u1", "Ann", {}), 400);
    EXPECT_EQ(Session().Vote(multi, "u1", "Ann", {"A", "A"}), 400) << "one choice counted twice";
    EXPECT_EQ(Session().Vote(multi, "u1", "Ann", {"A", "Z"}), 400) << "half a ballot is no ballot";
    EXPECT_EQ(Session().Vote(multi, "u1", "", {"A"}), 200) << "a voter without a display name still counts";
    EXPECT_EQ(Session().Polling({{"job", "PostPolling"}, {"pollid", single}, {"userid", ""}, {"username", "X"},
                                 {"itemcount", "1"}, {"itemname_0", "A"}})
                  .status,
              400);

    auto list = Session().List("a7", "m1");
    EXPECT_EQ(list.Find(single)->Attr("UserCount"), "0");
    EXPECT_EQ(Counts(*list.Find(single)), (Strings{"0", "0", "0"}));
    EXPECT_EQ(list.Find(multi)->Attr("UserCount"), "1");

    ASSERT_EQ(Session().Vote(multi, "u2", "Bob", {"C", "A"}), 200);
    ASSERT_EQ(Session().Vote(multi, "u3", "Cy", {"B", "C", "A"}), 200);
    list = Session().List("a7", "m1");
    EXPECT_EQ(list.Find(multi)->Attr("UserCount"), "3");
    EXPECT_EQ(Counts(*list.Find(multi)), (Strings{"3", "1", "2"}));
    EXPECT_EQ(list.Find(multi)->items[2].userNames, (Strings{"Bob", "Cy"}));
}

TEST_F(PollServerTest, ASecondBallotOfTheSameUserReplacesTheFirst) {
    const auto single = OpenPoll("S", true);
    const auto multi = OpenPoll("M", true);
    ASSERT_EQ(Session().Vote(single, "u1", "Ann", {"A"}), 200);
    ASSERT_EQ(Session().Vote(single, "u2", "Bob", {"A"}), 200);
    ASSERT_EQ(Session().Vote(single, "u1", "Ann B.", {"C"}), 200);
    ASSERT_EQ(Session().Vote(multi, "u1", "Ann", {"A", "B"}), 200);
    ASSERT_EQ(Session().Vote(multi, "u1", "Ann", {"C"}), 200);
    // A refused second ballot leaves the first in place.
    ASSERT_EQ(Session().Vote(single, "u2", "Bob", {"Q"}), 400);

    const auto list = Session().List("a7", "m1");
    const auto& s = *list.Find(single);
    EXPECT_EQ(s.Attr("UserCount"), "2");
    EXPECT_EQ(Counts(s), (Strings{"1", "0", "1"}));
    EXPECT_EQ(s.items[0].userNames, Strings{"Bob"});
    EXPECT_EQ(s.items[2].userNames, Strings{"Ann B."});
    const auto& m = *list.Find(multi);
    EXPECT_EQ(m.Attr("UserCount"), "1");
    EXPECT_EQ(Counts(m), (Strings{"0", "0", "1"}));
}

TEST_F(PollServerTest, ConcurrentBallotsAreNeitherLostNorDoubleCounted) {
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

    const auto record = *Session().List("a7", "m1").Find(id);
    const int voters = kThreads * kUsersPerThread;
    EXPECT_EQ(record.Attr("UserCount"), std::to_string(voters));
    EXPECT_EQ(Counts(record), (Strings{"0", std::to_string(voters / 2), std::to_string(voters / 2)}));
    EXPECT_EQ(record.items[1].userNames.size() + record.items[2].userNames.size(), static_cast<std::size_t>(voters));
}

TEST_F(PollServerTest, VotersOfAnAnonymousPollAreNeverSent) {
    const auto anonymous = OpenPoll("S", false);
    const auto identified = OpenPoll("S", true);
    const std::string secret = "SecretVoterName";
    ASSERT_EQ(Session().Vote(anonymous, "secret-user", secret, {"B"}), 200);
    ASSERT_EQ(Session().Vote(identified, "u1", "OpenVoter", {"B"}), 200);
    ASSERT_EQ(Session().SetStatus(anonymous, "C", "1"), 200);
    ASSERT_EQ(Session().SetStatus(identified, "C", "1"), 200);

    const auto list = Session().List("a7", "m1");
    EXPECT_EQ(list.Find(anonymous)->Attr("UserCount"), "1");
    EXPECT_EQ(list.Find(anonymous)->items[1].attributes.at("PostCount"), "1");
    EXPECT_TRUE(list.Find(anonymous)->items[1].userNames.empty());
    EXPECT_EQ(list.Find(identified)->items[1].userNames, Strings{"OpenVoter"});

    const PollServerSession::Fields idFields = {{"pollcount", "2"}, {"pollid_0", anonymous}, {"pollid_1", identified}};
    auto withJob = [&](const std::string& job) {
        auto fields = idFields;
        fields.insert(fields.begin(), {"job", job});
        return fields;
    };
    const std::vector<HttpClient::Reply> replies = {
        Session().Results({{"job", "GetPollingResult"}, {"modulename", "m1"}, {"userid", "a7"}}),
        Session().Results(withJob("GetPollingInfo")), Session().Results(withJob("GetPollingResult2"))};
    for (const auto& reply : replies) {
        ASSERT_EQ(reply.status, 200);
        EXPECT_EQ(reply.body.find(secret), std::string::npos) << reply.body;
        EXPECT_EQ(reply.body.find("secret-user"), std::string::npos) << reply.body;
    }
    // Not even the database keeps the name of an anonymous voter.
    m_session.reset();
    ASSERT_EQ(m_server.Stop(), 0);
    EXPECT_EQ(ReadFileBytes(Database()).find(secret), std::string::npos);
}

TEST_F(PollServerTest, PublishedResultsOnlyForPublishedPolls) {
    const auto published = OpenPoll("S", true);
    const auto hidden = OpenPoll("S", true);
    ASSERT_EQ(Session().Vote(published, "u1", "Ann", {"A"}), 200);
    ASSERT_EQ(Session().Vote(hidden, "u1", "Ann", {"A"}), 200);
    EXPECT_TRUE(Session().Published({published, hidden}).Records().empty());

    ASSERT_EQ(Session().SetStatus(published, "C", "1"), 200);
    ASSERT_EQ(Session().SetStatus(hidden, "C", "0"), 200);
    const auto results = Session().Published({hidden, published});
    ASSERT_EQ(results.Records().size(), 1u);
    const auto& record = results.Records()[0];
    EXPECT_EQ(record.Attr("PollingId"), published);
    EXPECT_EQ(record.Attr("IsPublish"), "1");
    EXPECT_EQ(record.Attr("UserCount"), "1");
    EXPECT_EQ(Counts(record), (Strings{"1", "0", "0"}));
    EXPECT_EQ(record.items[0].userNames, Strings{"Ann"});

    // Withdrawn again: gone from the attendees' replies.
    ASSERT_EQ(Session().SetStatus(published, "", "0"), 200);
    EXPECT_TRUE(Session().Published({published}).Records().empty());
}

}  // namespace
}  // namespace quibra::test
