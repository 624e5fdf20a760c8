// The SQLite event log on its own: pruning beyond what is kept, and where a
// subscriber starts once its last id has been pruned.
#include <gtest/gtest.h>

#include "SqliteConnection.h"
#include "SqliteEventLog.h"
#include "support/TestSupport.h"

namespace quibra::test {
namespace {

using pollserver::EventBacklog;
using pollserver::SqliteConnection;
using pollserver::SqliteEventLog;
using pollserver::StreamEvent;

TEST(SqliteEventLog, EventsBeyondWhatIsKeptArePrunedAndAResumeFromThemIsAResync) {
    TempDir dir;
    SqliteConnection db(dir / "events.sqlite");
    db.Execute("CREATE TABLE polls(id INTEGER PRIMARY KEY, module TEXT, status TEXT)");
    db.Execute("INSERT INTO polls(id, module, status) VALUES(7, 'm1', 'O')");
    // Every event is old enough to go; the newest 2 of a module stay.
    SqliteEventLog log(db, -1, 2);
    std::vector<StreamEvent> committed;
    log.SetListener([&](pollserver::StreamEvents events) {
        committed.insert(committed.end(), events->begin(), events->end());
    });
    // One batch of 1000 events of m1 (enough to prune) and one of m2.
    db.Execute("BEGIN");
    for (int i = 0; i < 1000; ++i) log.Record(StreamEvent{0, "m1", "open", "7", {}, {}});
    log.Record(StreamEvent{0, "m2", "close", "8", {}, {}});
    log.JobEnded(true);
    log.BeforeCommit(db);
    db.Execute("COMMIT");
    log.Committed();
    ASSERT_EQ(committed.size(), 1001u);
    const auto newest = committed.back().id;
    EXPECT_EQ(committed.front().id, 2) << "ids start after the log's first newest id, 1";

    EventBacklog backlog;
    // m1's newest two stay; the newest one pruned is the one before them.
    const std::int64_t pruned = committed[997].id;
    SqliteEventLog::Read(db, "m1", pruned - 1, backlog);
    EXPECT_TRUE(backlog.resync) << "its next event was pruned";
    EXPECT_EQ(backlog.openPolls, std::vector<std::int64_t>{7});
    EXPECT_EQ(backlog.newest, newest);
    SqliteEventLog::Read(db, "m1", pruned, backlog);
    EXPECT_FALSE(backlog.resync);
    ASSERT_EQ(backlog.events.size(), 2u);
    EXPECT_EQ(backlog.events[1].id, committed[999].id);
    SqliteEventLog::Read(db, "m2", 1, backlog);
    ASSERT_EQ(backlog.events.size(), 1u) << "another module's events are kept";
    EXPECT_EQ(backlog.events[0].kind + " " + backlog.events[0].polls, "close 8");
}

}  // namespace
}  // namespace quibra::test
