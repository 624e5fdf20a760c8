// Several pollservers on one PostgreSQL database serve the same polls.
#include <atomic>

#include "PollServerTest.h"

namespace quibra::test {
namespace {

class PollServerSharedDatabaseTest : public PollServerStoreTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(PollServerStoreTest::SetUp());
        ASSERT_TRUE(m_other.Start(m_databaseUri)) << m_other.Error();
        m_otherSession = std::make_unique<PollServerSession>(m_other.HttpUrl());
    }
    PollServerProcess m_other;
    std::unique_ptr<PollServerSession> m_otherSession;
};

TEST_P(PollServerSharedDatabaseTest, EachServerSeesWhatTheOtherCommittedAcrossAPostgresqlRestart) {
    auto& other = *m_otherSession;
    const auto id = OpenPoll("S", true);
    ASSERT_EQ(Session().SetStatus(id, "", "1"), 200);
    // Both servers have answered for the poll before it changes behind their backs.
    EXPECT_EQ(Listed(id).Attr("UserCount"), "0");
    EXPECT_EQ(other.List("a7", "m1").Find(id)->Attr("UserCount"), "0");
    EXPECT_EQ(Session().Published({id}).Find(id)->Column("PostCount"), "0 0 0");

    ASSERT_EQ(other.Vote(id, "u1", "Ann", {"A"}), 200);
    EXPECT_EQ(Listed(id).Column("PostCount"), "1 0 0");
    EXPECT_EQ(Session().Published({id}).Find(id)->Column("PostCount"), "1 0 0");
    ASSERT_EQ(Session().Vote(id, "u1", "Ann", {"C"}), 200)
        << "replaces the ballot cast through the other";
    EXPECT_EQ(other.List("a7", "m1").Find(id)->Column("PostCount"), "0 0 1");
    EXPECT_EQ(other.Published({id}).Find(id)->Attr("UserCount"), "1");

    // Every connection of both servers is gone: the next jobs reconnect
    // instead of failing on the dropped ones.
    ASSERT_TRUE(s_postgres->Restart()) << "see " << s_postgres->Log();
    EXPECT_EQ(Session().Vote(id, "u2", "", {"B"}), 200);
    EXPECT_EQ(other.Vote(id, "u3", "", {"B"}), 200);
    EXPECT_EQ(other.List("a7", "m1").Find(id)->Column("PostCount"), "0 2 1");
    EXPECT_EQ(Listed(id).Attr("UserCount"), "3");

    // A poll closed through one server takes no more ballots through the other.
    ASSERT_EQ(other.SetStatus(id, "C", ""), 200);
    EXPECT_EQ(Session().Vote(id, "u4", "Bob", {"A"}), 409);
    ASSERT_EQ(other.Delete({id}), 200);
    EXPECT_EQ(Session().Vote(id, "u4", "Bob", {"A"}), 404);
    EXPECT_TRUE(Session().List("a7", "m1").Ids().empty());
}

TEST_P(PollServerSharedDatabaseTest, ConcurrentBallotsThroughBothServersCountOnceEach) {
    const auto id = OpenPoll("S", true);
    constexpr int kUsers = 60;
    std::atomic<int> refused{0};
    // Every user votes through both servers at once, A through one and B
    // through the other: one ballot stays, whichever committed last.
    auto voteAll = [&](const std::string& url, const std::string& choice, int first) {
        PollServerSession session(url);
        for (int u = first; u < kUsers; u += 2)
            if (session.Vote(id, "u" + std::to_string(u), "N", {choice}) != 200) ++refused;
    };
    OnThreads(4, [&](int t) {
        voteAll(t < 2 ? m_server.HttpUrl() : m_other.HttpUrl(), t < 2 ? "A" : "B", t % 2);
    });
    ASSERT_EQ(refused.load(), 0);

    for (auto* session : {&Session(), m_otherSession.get()}) {
        const auto list = session->List("a7", "m1");
        ASSERT_EQ(list.Ids(), Strings{id});
        const auto& items = list.Records()[0].items;
        EXPECT_EQ(list.Records()[0].Attr("UserCount"), std::to_string(kUsers));
        EXPECT_EQ(items[0].userNames.size() + items[1].userNames.size(),
                  static_cast<std::size_t>(kUsers));
        EXPECT_TRUE(items[2].userNames.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, PollServerSharedDatabaseTest, ::testing::Values("postgresql"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace quibra::test
