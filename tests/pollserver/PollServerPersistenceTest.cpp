// The database survives a clean stop and a kill -9 with every acknowledged job.
#include <atomic>
#include <cstdio>
#include <sstream>
#include <thread>

#include "PollServerTest.h"

namespace quibra::test {
namespace {

TEST_F(PollServerTest, RestartAndKillKeepEveryAcknowledgedJob) {
    const auto open = OpenPoll("M", true);
    const auto closed = OpenPoll("S", false);
    const auto draft = Session().Create("a7", "m1", "草稿 & <draft>", "S", true, {{"A", "ä"}});
    ASSERT_EQ(Session().Vote(open, "u1", "Ann", {"A", "C"}), 200);
    for (int u = 0; u < 30; ++u)
        ASSERT_EQ(Session().Vote(closed, "u" + std::to_string(u), "User " + std::to_string(u),
                                 {u % 3 ? "A" : "B"}),
                  200);
    ASSERT_EQ(Session().SetStatus(closed, "C", "1"), 200);
    const Strings ids = {open, closed, draft};

    // Killed right after the writes, then stopped cleanly after more of them.
    for (const bool crash : {true, false}) {
        const auto before = Session().Everything(ids);
        ASSERT_NO_FATAL_FAILURE(Restart(crash));
        EXPECT_EQ(Session().Everything(ids), before)
            << (crash ? "after SIGKILL" : "after a clean stop");
        if (crash) {
            ASSERT_EQ(Session().Delete({draft}), 200);
            ASSERT_EQ(Session().Vote(open, "u2", "Bo", {"B"}), 200);
        }
    }
    EXPECT_EQ(Listed(closed).Attr("UserCount"), "30");
    EXPECT_EQ(Listed(open).Attr("UserCount"), "2");
    // Ids keep counting from where they were; a deleted id is never handed out again.
    const auto next = Session().Create("a7", "m1", "Next", "S", false, {{"A", "a"}});
    EXPECT_GT(std::stoll(next), std::stoll(draft));
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

    ASSERT_NO_FATAL_FAILURE(Start());
    const auto counted = std::stoi(Listed(id).Attr("UserCount"));
    // Every acknowledged ballot is kept; a ballot whose answer was cut off by
    // the stop may have counted too (at most one per connection).
    EXPECT_GE(counted, acknowledged.load());
    EXPECT_LE(counted, acknowledged.load() + 4);
}

TEST(PollServerProcessTest, RefusesBadCommandLinesAndUnusableFiles) {
    TempDir dir;
    PollServerProcess server;
    const auto missing = (dir / "missing.pem").string();
    for (const Strings& args :
         {Strings{"--threads", "0"}, Strings{"--cert", missing},
          Strings{"--cert", missing, "--key", (dir / "missing-key.pem").string()}})
        EXPECT_FALSE(server.Start(dir / "db.sqlite", args)) << ::testing::PrintToString(args);
    WriteFileBytes(dir / "garbage.sqlite", std::string(4096, 'x'));
    EXPECT_FALSE(server.Start(dir / "garbage.sqlite"));
    // A PostgreSQL database that is not there: a clear exit, not a server without storage.
    EXPECT_FALSE(server.Start("postgresql://quibra@127.0.0.1:1/none"));
    EXPECT_TRUE(server.Start(dir / "db.sqlite", {"--threads", "2"})) << server.Error();
    EXPECT_EQ(server.Stop(), 0);
}

// The largest accept queue of the listening socket on the URL's port, as
// iproute2's ss reports it (Send-Q of a listening socket); -1 when not found.
long ListenBacklog(const std::string& url) {
    const std::string command =
        "ss -Hltn 'sport = :" + url.substr(url.rfind(':') + 1) + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    char line[512];
    while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::istringstream fields(line);
        std::string state;
        long received = 0, limit = -1;
        if (fields >> state >> received >> limit && state == "LISTEN") return limit;
    }
    return -1;
}

TEST_F(PollServerTest, ListenersQueueABurstOfNewConnections) {
    // Every plug-in request is a new connection: a room voting at once must
    // not overflow a five-place accept queue (a dropped SYN costs a second).
    EXPECT_GE(ListenBacklog(m_server.HttpUrl()), 128);
    EXPECT_GE(ListenBacklog(m_server.HttpsUrl()), 128);
}

}  // namespace
}  // namespace quibra::test
