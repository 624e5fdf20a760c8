#include "SqliteEventLog.h"

#include <algorithm>

#include <ctime>
#include <memory>

#include "SqliteConnection.h"

namespace quibra::pollserver {

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS events(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  module TEXT NOT NULL,
  kind TEXT NOT NULL,
  polls TEXT NOT NULL,
  author TEXT NOT NULL,
  voter TEXT NOT NULL,
  at INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS events_by_module ON events(module, id);
-- Per module, the newest event pruned: a resume from before it is a resync.
CREATE TABLE IF NOT EXISTS events_pruned(
  module TEXT PRIMARY KEY,
  through INTEGER NOT NULL) WITHOUT ROWID;
-- A new subscriber asks for the polls of its module that are open.
CREATE INDEX IF NOT EXISTS polls_by_module ON polls(module, status, id);
-- Ids start after 1, so even an empty log has a newest id to resume from.
INSERT INTO sqlite_sequence(name, seq)
  SELECT 'events', 1 WHERE NOT EXISTS(SELECT 1 FROM sqlite_sequence WHERE name = 'events');
)sql";

// Pruning looks at the modules written since it last ran, this often at most.
constexpr std::int64_t kPruneEveryEvents = 1000;
constexpr std::int64_t kPruneEverySeconds = 60;

}  // namespace

SqliteEventLog::SqliteEventLog(SqliteConnection& writer, std::int64_t keepSeconds,
                               std::int64_t keepPerModule)
    : m_keepSeconds(keepSeconds), m_keepPerModule(keepPerModule), m_prunedAt(std::time(nullptr)) {
    writer.Execute(kSchema);
}

void SqliteEventLog::SetListener(PollStore::EventListener listener) {
    std::lock_guard lock(m_listenerMutex);
    m_listener = std::move(listener);
}

void SqliteEventLog::JobEnded(bool kept) {
    m_batch.JobEnded(kept);
}

void SqliteEventLog::BeforeCommit(SqliteConnection& db) {
    auto& batch = m_batch.Kept();
    if (batch.empty()) return;
    const std::int64_t now = std::time(nullptr);
    for (auto& event : batch) {
        auto& insert = db.Statement(
            "INSERT INTO events(module, kind, polls, author, voter, at) "
            "VALUES(?1, ?2, ?3, ?4, ?5, ?6) RETURNING id");
        insert.Bind(1, event.module)
            .Bind(2, event.kind)
            .Bind(3, event.polls)
            .Bind(4, event.author)
            .Bind(5, event.voter)
            .Bind(6, now);
        insert.Step();
        event.id = insert.Int(0);
        insert.Run();
        m_touched.insert(event.module);
    }
    m_sincePrune += static_cast<std::int64_t>(batch.size());
    if (m_sincePrune >= kPruneEveryEvents || now - m_prunedAt >= kPruneEverySeconds)
        Prune(db, now, batch.back().id);
}

void SqliteEventLog::Prune(SqliteConnection& db, std::int64_t now, std::int64_t newest) {
    // Every event through `newest` is written by `now`. Should this transaction
    // roll back, its ids come again later: RolledBack forgets the mark.
    m_oldThroughBefore = m_oldThrough;
    m_marks.emplace_back(now, newest);
    m_markPending = true;
    while (!m_marks.empty() && m_marks.front().first < now - m_keepSeconds) {
        m_oldThrough = m_marks.front().second;
        m_marks.pop_front();
    }
    for (const auto& module : m_touched) {
        // The newest perModule events stay whatever their age.
        auto& cut = db.Statement(
            "SELECT id FROM events WHERE module = ?1 ORDER BY id DESC LIMIT 1 OFFSET ?2");
        if (!cut.Bind(1, module).Bind(2, m_keepPerModule).Step()) continue;
        const std::int64_t cutId = cut.Int(0);
        cut.Reset();
        auto& through = db.Statement("SELECT max(id) FROM events WHERE module = ?1 AND id <= ?2");
        through.Bind(1, module).Bind(2, std::min(cutId, m_oldThrough)).Step();
        const std::int64_t last = through.Int(0);
        through.Reset();
        if (last <= 0) continue;
        db.Statement("DELETE FROM events WHERE module = ?1 AND id <= ?2")
            .Bind(1, module)
            .Bind(2, last)
            .Run();
        db.Statement(
              "INSERT INTO events_pruned(module, through) VALUES(?1, ?2) "
              "ON CONFLICT(module) DO UPDATE SET through = excluded.through")
            .Bind(1, module)
            .Bind(2, last)
            .Run();
    }
    m_touched.clear();
    m_sincePrune = 0;
    m_prunedAt = now;
}

void SqliteEventLog::Committed() {
    if (m_batch.Kept().empty()) return;
    m_markPending = false;
    auto events = std::make_shared<const std::vector<StreamEvent>>(std::move(m_batch.Kept()));
    m_batch.Clear();
    std::lock_guard lock(m_listenerMutex);
    if (!m_listener) return;
    try {
        m_listener(std::move(events));
    } catch (...) {
        // The commit stands; subscribers that missed the events resume from the log.
    }
}

void SqliteEventLog::RolledBack() {
    m_batch.Clear();
    if (!m_markPending) return;
    // The pending mark is the last one unless it went with all the others.
    // Conservative: marks this pruning let go are forgotten too, so less is pruned.
    if (!m_marks.empty()) m_marks.pop_back();
    m_oldThrough = m_oldThroughBefore;
    m_markPending = false;
}

StoreOutcome SqliteEventLog::Read(SqliteConnection& db, const std::string& module,
                                  std::optional<std::int64_t> after, EventBacklog& backlog) {
    backlog = EventBacklog{};
    auto& newest = db.Statement("SELECT seq FROM sqlite_sequence WHERE name = 'events'");
    backlog.newest = newest.Step() ? newest.Int(0) : 1;
    newest.Reset();
    if (after) {
        auto& pruned = db.Statement("SELECT through FROM events_pruned WHERE module = ?1");
        const std::int64_t through = pruned.Bind(1, module).Step() ? pruned.Int(0) : 0;
        pruned.Reset();
        if (*after >= through && *after <= backlog.newest) {
            auto& events = db.Statement(
                "SELECT id, kind, polls, author, voter FROM events "
                "WHERE module = ?1 AND id > ?2 ORDER BY id");
            events.Bind(1, module).Bind(2, *after);
            while (events.Step())
                backlog.events.push_back({events.Int(0), module, events.Text(1), events.Text(2),
                                          events.Text(3), events.Text(4)});
            return StoreOutcome::Done;
        }
        backlog.resync = true;
    }
    auto& open =
        db.Statement("SELECT id FROM polls WHERE module = ?1 AND status = 'O' ORDER BY id");
    open.Bind(1, module);
    while (open.Step()) backlog.openPolls.push_back(open.Int(0));
    return StoreOutcome::Done;
}

}  // namespace quibra::pollserver
