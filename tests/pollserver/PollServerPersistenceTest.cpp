// The database survives a clean stop and a kill -9 with every acknowledged job.
#include <atomic>
#include <cstdio>
#include <memory>
#include <sstream>
#include <thread>

#include "PollServerTest.h"

namespace quibra::test {
namespace {

std::string Everything(PollServerSession& session) {
    return session.Results({{"job", "GetPollingResult"}, {"modulename", "m1"}, {"userid", "a7"}}).body;
}

TEST_F(PollServerTest, RestartKeepsPollsBallotsAndStates) {
    const auto open = OpenPoll("M", true);
    const auto closed = OpenPoll("S", false);
    const auto draft = Session().Create("a7", "m1", "草稿 & <draft>", "S", true, {{"A", "ä"}});
    ASSERT_EQ(Session().Vote(open, "u1", "Ann", {"A", "C"}), 200);
    ASSERT_EQ(Session().Vote(closed, "u2", "Bob", {"B"}), 200);
    ASSERT_EQ(Session().SetStatus(closed, "C", "1"), 200);
    const auto before = Everything(Session());

    Restart(false);
    EXPECT_EQ(Everything(Session()), before);
    // Ids keep counting from where they were; a deleted id is never handed out again.
    ASSERT_EQ(Session().Delete({draft}), 200);
    Restart(false);
    const auto next = Session().Create("a7", "m1", "Next", "S", false, {{"A", "a"}});
    EXPECT_GT(std::stoll(next), std::stoll(draft));
    EXPECT_EQ(Session().Vote(open, "u3", "Cy", {"B"}), 200);
    EXPECT_EQ(Session().List("a7", "m1").Find(open)->Attr("UserCount"), "2");
}

TEST_F(PollServerTest, KillBetweenJobsKeepsEveryAcknowledgedJob) {
    const auto id = OpenPoll("S", true);
    for (int u = 0; u < 30; ++u)
        ASSERT_EQ(Session().Vote(id, "u" + std::to_string(u), "User " + std::to_string(u), {u % 3 ? "A" : "B"}), 200);
    ASSERT_EQ(Session().SetStatus(id, "C", "1"), 200);
    const auto before = Everything(Session());

    Restart(true);
    EXPECT_EQ(Everything(Session()), before);
    EXPECT_EQ(Session().List("a7", "m1").Find(id)->Attr("UserCount"), "30");
}

TEST_F(PollServerTest, StopWhileBallotsArriveLosesNoAcknowledgedBallot) {
    const auto id = OpenPoll("S", false);
    std::atomic<int> acknowledged{0};
    std::atomic<bool> failed{false};
    std::vector<std::thread> voters;
    for (int t = 0; t < 4; ++t) {
        voters.emplace_back([&, t] {
            PollServerSession session(m_server.HttpUrl());
            for (int u = 0; !failed; ++u) {
                if (session.Vote(id, std::to_string(t) + "-" + std::to_string(u), "", {"A"}) == 200)
                    ++acknowledged;
                else
                    failed = true;  // the server has stopped
            }
        });
    }
    ASSERT_TRUE(WaitFor([&] { return acknowledged >= 200; }));
    m_session.reset();
    EXPECT_EQ(m_server.Stop(), 0);
    for (auto& voter : voters) voter.join();

    ASSERT_TRUE(m_server.Start(Database())) << m_server.Error();
    m_session = std::make_unique<PollServerSession>(m_server.HttpUrl());
    const auto counted = std::stoi(Session().List("a7", "m1").Find(id)->Attr("UserCount"));
    // Every acknowledged ballot is kept; a ballot whose answer was cut off by
    // the stop may have counted too (at most one per connection).
    EXPECT_GE(counted, acknowledged.load());
    EXPECT_LE(counted, acknowledged.load() + 4);
}

TEST(PollServerProcessTest, RefusesBadCommandLinesAndUnusableFiles) {
    TempDir dir;
    PollServerProcess server;
    EXPECT_FALSE(server.Start(dir / "db.sqlite", {"--threads", "0"}));
    EXPECT_FALSE(server.Start(dir / "db.sqlite", {"--cert", (dir / "missing.pem").string()}));
    EXPECT_FALSE(server.Start(dir / "db.sqlite", {"--cert", (dir / "missing.pem").string(), "--key",
                                                  (dir / "missing-key.pem").string()}));
    WriteFileBytes(dir / "garbage.sqlite", std::string(4096, 'x'));
    EXPECT_FALSE(server.Start(dir / "garbage.sqlite"));
    EXPECT_TRUE(server.Start(dir / "db.sqlite", {"--threads", "2"})) << server.Error();
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace quibra::test

namespace quibra::test {
namespace {

// The largest accept queue of the listening socket on `port`, as iproute2's
// ss reports it (Send-Q of a listening socket); -1 when not found.
long ListenBacklog(int port) {
    const std::string command = "ss -Hltn 'sport = :" + std::to_string(port) + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return -1;
    char line[512];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::istringstream fields(line);
        std::string state;
        long received = 0;
        long limit = -1;
        if (fields >> state >> received >> limit && state == "LISTEN") return limit;
    }
    return -1;
}

int PortOf(const std::string& url) { return std::stoi(url.substr(url.rfind(':') + 1)); }

TEST_F(PollServerTest, ListenersQueueABurstOfNewConnections) {
    // Every plug-in request is a new connection: a room voting at once must
    // not overflow a five-place accept queue (a dropped SYN costs a second).
    EXPECT_GE(ListenBacklog(PortOf(m_server.HttpUrl())), 128);
    EXPECT_GE(ListenBacklog(PortOf(m_server.HttpsUrl())), 128);
}

}  // namespace
}  // namespace quibra::test
