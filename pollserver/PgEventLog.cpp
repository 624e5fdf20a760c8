#include "PgEventLog.h"

#include <ctime>

#include "PgConnection.h"

namespace quibra::pollserver {

namespace {

constexpr const char* kSchema = R"sql(
CREATE SEQUENCE IF NOT EXISTS events_id START 2;
CREATE TABLE IF NOT EXISTS events(
  id BIGINT PRIMARY KEY,
  module TEXT NOT NULL,
  kind TEXT NOT NULL,
  polls TEXT NOT NULL,
  author TEXT NOT NULL,
  voter TEXT NOT NULL,
  at BIGINT NOT NULL);
CREATE INDEX IF NOT EXISTS events_by_module ON events(module, id);
CREATE TABLE IF NOT EXISTS events_pruned(
  module TEXT PRIMARY KEY,
  through BIGINT NOT NULL);
CREATE INDEX IF NOT EXISTS polls_by_module ON polls(module, status, id);
)sql";

// Taken by every batch that writes events, until its commit.
constexpr const char* kOrderLock = "SELECT pg_advisory_xact_lock(7346022)";
constexpr std::int64_t kKeepSeconds = 600;
constexpr std::int64_t kKeepPerModule = 10000;
constexpr std::int64_t kPruneEveryEvents = 1000;
constexpr std::int64_t kPruneEverySeconds = 60;

std::string Number(std::int64_t value) {
    return std::to_string(value);
}

}  // namespace

const char* PgEventLog::Schema() {
    return kSchema;
}

EventBatch& PgEventLog::BatchOf(PgConnection& db) {
    std::lock_guard lock(m_mutex);
    return m_batches[&db];  // a reference into an unordered_map stays valid
}

void PgEventLog::Record(PgConnection& db, std::vector<StreamEvent> events) {
    BatchOf(db).Record(std::move(events));
}

void PgEventLog::JobEnded(PgConnection& db, bool kept) {
    BatchOf(db).JobEnded(kept);
}

void PgEventLog::RolledBack(PgConnection& db) {
    BatchOf(db).Clear();
}

void PgEventLog::BeforeCommit(PgConnection& db) {
    auto& batch = BatchOf(db);
    auto& events = batch.Kept();
    if (events.empty()) return;
    db.Execute(kOrderLock);
    const std::int64_t now = std::time(nullptr);
    for (auto& event : events) {
        const auto rows = db.Query(
            "INSERT INTO events(id, module, kind, polls, author, voter, at) "
            "VALUES(nextval('events_id'), $1, $2, $3, $4, $5, $6) RETURNING id",
            {event.module, event.kind, event.polls, event.author, event.voter, Number(now)});
        event.id = rows.Int(0, 0);
    }
    db.Execute("NOTIFY quibra_events");
    bool prune = false;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& event : events) m_touched.insert(event.module);
        m_sincePrune += static_cast<std::int64_t>(events.size());
        if (m_prunedAt == 0) m_prunedAt = now;
        prune = m_sincePrune >= kPruneEveryEvents || now - m_prunedAt >= kPruneEverySeconds;
    }
    // The ids are the commit's business now; nothing is published from here
    // (every server hears the NOTIFY, this one too).
    batch.Clear();
    if (prune) Prune(db, now);
}

void PgEventLog::Prune(PgConnection& db, std::int64_t now) {
    std::set<std::string> modules;
    {
        std::lock_guard lock(m_mutex);
        modules.swap(m_touched);
        m_sincePrune = 0;
        m_prunedAt = now;
    }
    for (const auto& module : modules) {
        // Beyond the newest kKeepPerModule, and older than kKeepSeconds.
        const auto last = db.Query(
            "SELECT coalesce(max(id), 0) FROM events WHERE module = $1 AND at < $2 AND id <= "
            "(SELECT id FROM events WHERE module = $1 ORDER BY id DESC LIMIT 1 OFFSET $3)",
            {module, Number(now - kKeepSeconds), Number(kKeepPerModule)});
        const std::int64_t through = last.Int(0, 0);
        if (through <= 0) continue;
        db.Query("DELETE FROM events WHERE module = $1 AND id <= $2", {module, Number(through)});
        db.Query(
            "INSERT INTO events_pruned(module, through) VALUES($1, $2) "
            "ON CONFLICT(module) DO UPDATE SET through = greatest(events_pruned.through, "
            "excluded.through)",
            {module, Number(through)});
    }
}

std::int64_t PgEventLog::Newest(PgConnection& db) {
    return db
        .Query(
            "SELECT greatest(1, (SELECT max(id) FROM events), "
            "(SELECT max(through) FROM events_pruned))")
        .Int(0, 0);
}

void PgEventLog::Read(PgConnection& db, const std::string& module,
                      std::optional<std::int64_t> after, EventBacklog& backlog) {
    backlog = EventBacklog{};
    backlog.newest = Newest(db);
    if (after) {
        const auto pruned = db.Query(
            "SELECT coalesce((SELECT through FROM events_pruned WHERE module = $1), 0)", {module});
        if (*after >= pruned.Int(0, 0) && *after <= backlog.newest) {
            const auto rows = db.Query(
                "SELECT id, kind, polls, author, voter FROM events "
                "WHERE module = $1 AND id > $2 ORDER BY id",
                {module, Number(*after)});
            for (int i = 0; i < rows.Count(); ++i)
                backlog.events.push_back({rows.Int(i, 0), module, rows.Text(i, 1), rows.Text(i, 2),
                                          rows.Text(i, 3), rows.Text(i, 4)});
            return;
        }
        backlog.resync = true;
    }
    const auto open =
        db.Query("SELECT id FROM polls WHERE module = $1 AND status = 'O' ORDER BY id", {module});
    for (int i = 0; i < open.Count(); ++i) backlog.openPolls.push_back(open.Int(i, 0));
}

std::vector<StreamEvent> PgEventLog::After(PgConnection& db, std::int64_t after) {
    const auto rows = db.Query(
        "SELECT id, module, kind, polls, author, voter FROM events WHERE id > $1 ORDER BY id",
        {Number(after)});
    std::vector<StreamEvent> events;
    for (int i = 0; i < rows.Count(); ++i)
        events.push_back({rows.Int(i, 0), rows.Text(i, 1), rows.Text(i, 2), rows.Text(i, 3),
                          rows.Text(i, 4), rows.Text(i, 5)});
    return events;
}

}  // namespace quibra::pollserver
