// The database survives a clean stop and a kill -9 with every acknowledged job.
#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "ListenSocket.h"
#include "PgError.h"
#include "PollServerTest.h"
#include "SqliteConnection.h"
#include "SqliteError.h"
#include "SqliteStatement.h"
#include "SqliteTransaction.h"

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

    // Killed right after the writes, then stopped cleanly after more of them.
    for (const bool crash : {true, false}) {
        const auto before = Session().Everything({open, closed, draft});
        ASSERT_NO_FATAL_FAILURE(Stop(crash));
        // A clean stop writes the journal back and closes the file: one file to back up.
        EXPECT_EQ(std::filesystem::exists(m_dir / "polls.sqlite-wal"), crash);
        ASSERT_NO_FATAL_FAILURE(Start());
        EXPECT_EQ(Session().Everything({open, closed, draft}), before)
            << (crash ? "after SIGKILL" : "after a clean stop");
        if (crash) {
            ASSERT_EQ(Session().Delete({draft}), 200);
            ASSERT_EQ(Session().Vote(open, "u2", "Bo", {"B"}), 200);
        }
    }
    EXPECT_EQ(Listed(closed).Attr("UserCount") + Listed(open).Attr("UserCount"), "302");
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
            // Until a ballot fails: the server has stopped.
            for (int u = 0; !failed; ++u)
                if (session.Vote(id, std::to_string(t) + "-" + std::to_string(u), "", {"A"}) == 200)
                    ++acknowledged;
                else
                    failed = true;
        });
    }
    ASSERT_TRUE(WaitFor([&] { return acknowledged >= 200; }));
    Stop();
    for (auto& voter : voters) voter.join();

    ASSERT_NO_FATAL_FAILURE(Start());
    const auto counted = std::stoi(Listed(id).Attr("UserCount"));
    // Every acknowledged ballot is kept; a ballot whose answer was cut off by
    // the stop may have counted too (at most one per connection).
    EXPECT_GE(counted, acknowledged.load());
    EXPECT_LE(counted, acknowledged.load() + 4);
}

// Storage failures told apart, busy (503: try again) or failed (500), and a
// transaction that never committed leaves nothing behind on its connection.
TEST(StorageErrorTest, BusyIsALockConflictAndNothingUncommittedStays) {
    using namespace pollserver;
    for (const int code : {SQLITE_BUSY, SQLITE_LOCKED, SQLITE_BUSY_SNAPSHOT})
        EXPECT_TRUE(SqliteError(code, "").Busy()) << code;
    for (const int code : {SQLITE_ERROR, SQLITE_IOERR, SQLITE_CORRUPT, SQLITE_CONSTRAINT_UNIQUE})
        EXPECT_FALSE(SqliteError(code, "").Busy()) << code;
    for (const char* state : {"40P01", "40001"}) EXPECT_TRUE(PgError(state, "").Retryable());
    for (const char* state : {"23505", "08006", ""}) EXPECT_FALSE(PgError(state, "").Retryable());
    // A transaction ended without its commit is rolled back.
    TempDir dir;
    SqliteConnection db(dir / "t.sqlite");
    db.Execute("CREATE TABLE t(x)");
    for (const int x : {1, 2}) {
        SqliteTransaction transaction(db, SqliteTransaction::Kind::Write);
        db.Statement("INSERT INTO t VALUES(?1)").Bind(1, std::int64_t{x}).Run();
        if (x == 2) transaction.Commit();
    }
    EXPECT_FALSE(db.InTransaction()) << "the connection goes back to its pool ready for the next";
    auto& rows = db.Statement("SELECT group_concat(x) FROM t");
    ASSERT_TRUE(rows.Step());
    EXPECT_EQ(rows.Text(0), "2");
}

TEST(PollServerProcessTest, RefusesBadCommandLinesAndUnusableFiles) {
    TempDir dir;
    PollServerProcess server;
    const auto missing = (dir / "missing.pem").string();
    std::string port;
    {
        // A port another socket holds, for each listener; freed with that socket.
        pollserver::ListenSocket taken;
        ASSERT_TRUE(taken.Open("127.0.0.1", 0, port));
        port = std::to_string(taken.Port());
        for (const Strings& args :
             {Strings{"--threads", "0"}, Strings{"--cert", missing},
              Strings{"--cert", missing, "--key", (dir / "missing-key.pem").string()},
              Strings{"--http", port}, Strings{"--metrics", "127.0.0.1:" + port}})
            EXPECT_FALSE(server.Start(dir / "db.sqlite", args)) << ::testing::PrintToString(args);
    }
    WriteFileBytes(dir / "garbage.sqlite", std::string(4096, 'x'));
    EXPECT_FALSE(server.Start(dir / "garbage.sqlite"));
    // A PostgreSQL database that is not there: a clear exit, not a server without storage.
    EXPECT_FALSE(server.Start("postgresql://quibra@127.0.0.1:1/none"));
    EXPECT_TRUE(server.Start(dir / "db.sqlite", {"--threads", "2", "--http", port}))
        << server.Error();
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(PollServerTest, ListenersQueueABurstOfNewConnections) {
    // Every plug-in request is a new connection: a room voting at once must
    // not overflow a five-place accept queue (a dropped SYN costs a second).
    // The Send-Q of a listening socket in iproute2's ss is its accept queue.
    for (const auto& url : {m_server.HttpUrl(), m_server.HttpsUrl()}) {
        const std::string command = "ss -Hltn 'sport = :" + url.substr(url.rfind(':') + 1) + "'";
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
        char state[16] = "";
        long queued = 0, limit = -1;
        ASSERT_EQ(std::fscanf(pipe.get(), "%15s %ld %ld", state, &queued, &limit), 3) << command;
        EXPECT_EQ(std::string(state), "LISTEN");
        EXPECT_GE(limit, 128) << url;
    }
}

}  // namespace
}  // namespace quibra::test
