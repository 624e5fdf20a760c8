#include "PgPollStore.h"

#include <unordered_map>
#include <unordered_set>

#include "PgConnection.h"
#include "PgError.h"
#include "PgEventListener.h"
#include "PgEventLog.h"
#include "PgWriteQueue.h"

namespace quibra::pollserver {

namespace {

// The same tables as the embedded store. `seq` keeps a voter at the place of
// the first ballot when a second one replaces it.
constexpr const char* kSchema = R"sql(
SELECT pg_advisory_xact_lock(7346021);
CREATE TABLE IF NOT EXISTS polls(
  id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  author TEXT NOT NULL,
  module TEXT NOT NULL,
  title TEXT NOT NULL,
  type TEXT NOT NULL,
  identified BOOLEAN NOT NULL,
  published BOOLEAN NOT NULL,
  status TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS polls_by_owner ON polls(author, module, id);
CREATE TABLE IF NOT EXISTS choices(
  poll_id BIGINT NOT NULL REFERENCES polls(id) ON DELETE CASCADE,
  position INTEGER NOT NULL,
  name TEXT NOT NULL,
  content TEXT NOT NULL,
  PRIMARY KEY(poll_id, position),
  UNIQUE(poll_id, name));
-- `marks` holds bit i for the choice at position i (at most 64).
CREATE TABLE IF NOT EXISTS ballots(
  seq BIGINT GENERATED ALWAYS AS IDENTITY,
  poll_id BIGINT NOT NULL REFERENCES polls(id) ON DELETE CASCADE,
  user_id TEXT NOT NULL,
  user_name TEXT NOT NULL,
  marks BIGINT NOT NULL,
  PRIMARY KEY(poll_id, user_id));
)sql";

constexpr std::int64_t kMaxChoices = 64;
constexpr std::size_t kMaxBatch = 256;
// Writer connections: one batch commits while the next is being filled.
constexpr std::size_t kWriters = 4;

std::string Number(std::int64_t value) {
    return std::to_string(value);  // integers print the same in every locale
}
std::string Letter(char c) {
    return std::string(1, c);
}
std::string Bool(bool value) {
    return value ? "true" : "false";
}
char FirstOf(const std::string& text, char fallback) {
    return text.empty() ? fallback : text.front();
}
// A bigint[] literal for `= ANY($1)`.
std::string IdArray(const std::vector<std::int64_t>& ids) {
    std::string text = "{";
    for (const auto id : ids) text += (text.size() > 1 ? "," : "") + Number(id);
    return text + "}";
}

// A text[] literal: every element quoted, quotes and backslashes escaped.
std::string TextArray(const std::vector<std::string>& texts) {
    std::string literal = "{";
    for (const auto& text : texts) {
        if (literal.size() > 1) literal += ',';
        literal += '"';
        for (const char c : text) {
            if (c == '"' || c == '\\') literal += '\\';
            literal += c;
        }
        literal += '"';
    }
    return literal + "}";
}

StoreOutcome FromError(const PgError& error) {
    return error.Retryable() ? StoreOutcome::Busy : StoreOutcome::Failed;
}

}  // namespace

class PgPollStore::ReaderLease {
public:
    explicit ReaderLease(PgPollStore& store) : m_store(store) {
        {
            std::lock_guard lock(store.m_readersMutex);
            if (!store.m_idleReaders.empty()) {
                m_connection = std::move(store.m_idleReaders.back());
                store.m_idleReaders.pop_back();
            }
        }
        if (!m_connection) m_connection = std::make_unique<PgConnection>(store.m_conninfo);
    }
    ~ReaderLease() {
        // A connection that broke is reset before it is lent again.
        m_connection->Healthy();
        std::lock_guard lock(m_store.m_readersMutex);
        m_store.m_idleReaders.push_back(std::move(m_connection));
    }
    ReaderLease(const ReaderLease&) = delete;
    ReaderLease& operator=(const ReaderLease&) = delete;
    PgConnection& Connection() { return *m_connection; }

private:
    PgPollStore& m_store;
    std::unique_ptr<PgConnection> m_connection;
};

PgPollStore::PgPollStore(std::string conninfo) : m_conninfo(std::move(conninfo)) {
    {
        // Servers starting together on a fresh database take turns at the schema.
        PgConnection setup(m_conninfo);
        setup.Execute("BEGIN");
        setup.Execute(kSchema);
        setup.Execute(PgEventLog::Schema());
        setup.Execute("COMMIT");
    }
    m_events = std::make_unique<PgEventLog>();
    m_writeQueue = std::make_unique<PgWriteQueue>(m_conninfo, kWriters, kMaxBatch, m_events.get());
}

PgPollStore::~PgPollStore() {
    m_writeQueue.reset();  // every queued job is written before the store goes
    m_listener.reset();
}

void PgPollStore::SetEventListener(EventListener listener) {
    m_listener = std::make_unique<PgEventListener>(m_conninfo, std::move(listener));
}

StoreOutcome PgPollStore::ReadEvents(const std::string& module, std::optional<std::int64_t> after,
                                     EventBacklog& backlog) {
    return Read([&](PgConnection& db) {
        PgEventLog::Read(db, module, after, backlog);
        return StoreOutcome::Done;
    });
}

template <typename Job>
StoreOutcome PgPollStore::Read(Job&& job) {
    try {
        ReaderLease lease(*this);
        auto& db = lease.Connection();
        try {
            // One snapshot for all the statements of a reply.
            db.Begin("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
            const StoreOutcome outcome = job(db);
            db.Execute("COMMIT");
            return outcome;
        } catch (const PgError&) {
            try {
                db.Execute("ROLLBACK");
            } catch (const PgError&) {
            }
            throw;
        }
    } catch (const PgError& error) {
        return FromError(error);
    }
}

void PgPollStore::InsertChoices(PgConnection& db, std::int64_t pollId,
                                const std::vector<ChoiceText>& choices) {
    for (std::size_t i = 0; i < choices.size(); ++i)
        db.Query("INSERT INTO choices(poll_id, position, name, content) VALUES($1, $2, $3, $4)",
                 {Number(pollId), Number(static_cast<std::int64_t>(i)), choices[i].name,
                  choices[i].content});
}

StoreOutcome PgPollStore::CreatePoll(const NewPoll& poll, std::int64_t& newId) {
    std::int64_t id = 0;
    const auto outcome = m_writeQueue->Run([&](PgConnection& db) {
        const auto rows = db.Query(
            "INSERT INTO polls(author, module, title, type, identified, published, status) "
            "VALUES($1, $2, $3, $4, $5, $6, $7) RETURNING id",
            {poll.author, poll.module, poll.draft.title, Letter(poll.draft.type),
             Bool(poll.draft.identified), Bool(poll.published), Letter(poll.status)});
        id = rows.Int(0, 0);
        InsertChoices(db, id, poll.draft.choices);
        m_events->Record(
            db, StreamEvent::ForStatus({{id, poll.status, poll.published}}, {poll.module}));
        return StoreOutcome::Done;
    });
    if (outcome == StoreOutcome::Done) newId = id;
    return outcome;
}

StoreOutcome PgPollStore::UpdatePoll(std::int64_t pollId, const PollDraft& draft) {
    return m_writeQueue->Run([&](PgConnection& db) {
        const auto id = Number(pollId);
        // Locked: a status job or a ballot of another server waits for this one.
        const auto found = db.Query("SELECT status FROM polls WHERE id = $1 FOR UPDATE", {id});
        if (found.Count() == 0) return StoreOutcome::NotFound;
        if (found.Text(0, 0) != "N") return StoreOutcome::Conflict;
        // Ballots name choices by position: a poll that was ever answered stays as it is.
        if (db.Query("SELECT 1 FROM ballots WHERE poll_id = $1 LIMIT 1", {id}).Count() != 0)
            return StoreOutcome::Conflict;
        db.Query("UPDATE polls SET title = $2, type = $3, identified = $4 WHERE id = $1",
                 {id, draft.title, Letter(draft.type), Bool(draft.identified)});
        db.Query("DELETE FROM choices WHERE poll_id = $1", {id});
        InsertChoices(db, pollId, draft.choices);
        return StoreOutcome::Done;
    });
}

StoreOutcome PgPollStore::ChangeStatus(const std::vector<StatusChange>& changes) {
    return m_writeQueue->Run([&](PgConnection& db) {
        std::vector<std::string> modules;
        for (const auto& change : changes) {
            const auto id = Number(change.pollId);
            const auto found = db.Query("SELECT module FROM polls WHERE id = $1 FOR UPDATE", {id});
            if (found.Count() == 0) return StoreOutcome::NotFound;
            modules.push_back(found.Text(0, 0));
            if (change.status)
                db.Query("UPDATE polls SET status = $2 WHERE id = $1",
                         {id, Letter(*change.status)});
            if (change.published)
                db.Query("UPDATE polls SET published = $2 WHERE id = $1",
                         {id, Bool(*change.published)});
        }
        m_events->Record(db, StreamEvent::ForStatus(changes, modules));
        return StoreOutcome::Done;
    });
}

StoreOutcome PgPollStore::DeletePolls(const std::vector<std::int64_t>& pollIds) {
    return m_writeQueue->Run([&](PgConnection& db) {
        db.Query("DELETE FROM polls WHERE id = ANY($1::bigint[])", {IdArray(pollIds)});
        return StoreOutcome::Done;
    });
}

StoreOutcome PgPollStore::CastBallot(const Ballot& ballot) {
    return m_writeQueue->Run([&](PgConnection& db) { return WriteBallot(db, ballot, *m_events); });
}

void PgPollStore::CastBallotLater(const Ballot& ballot, std::function<void(StoreOutcome)> done) {
    m_writeQueue->Submit([ballot, events = m_events.get()](
                             PgConnection& db) { return WriteBallot(db, ballot, *events); },
                         std::move(done), /*singleStatement=*/true);
}

// One statement, so a ballot costs one round trip: it checks the poll and the
// named choices as the database holds them and writes the ballot only when
// both fit, changing nothing otherwise. The poll is locked shared until the
// commit: ballots of all servers go on side by side, but closing, rewriting or
// deleting the poll waits for them, so no ballot is counted on a poll that was
// closed before it committed. A second ballot of the same user replaces the
// first; the name of a voter of an anonymous poll is never stored at all.
StoreOutcome PgPollStore::WriteBallot(PgConnection& db, const Ballot& ballot, PgEventLog& events) {
    const auto rows = db.Query(
        R"sql(
WITH poll AS (SELECT status, type, identified, author, module FROM polls WHERE id = $1 FOR SHARE),
named AS (SELECT count(*) AS n, bit_or(1::bigint << position) AS marks,
                 bool_and(position >= 0 AND position < 64) AS fits
          FROM choices WHERE poll_id = $1 AND name = ANY($2::text[])),
fitting AS (SELECT poll.identified, named.marks FROM poll, named
            WHERE poll.status = 'O' AND named.n > 0 AND named.fits
              AND named.n = cardinality($2::text[]) AND (poll.type <> 'S' OR named.n = 1)),
written AS (INSERT INTO ballots(poll_id, user_id, user_name, marks)
            SELECT $1, $3, CASE WHEN identified THEN $4 ELSE '' END, marks FROM fitting
            ON CONFLICT(poll_id, user_id) DO UPDATE
              SET user_name = excluded.user_name, marks = excluded.marks
            RETURNING 1)
SELECT status, (SELECT count(*) FROM written), author, module FROM poll)sql",
        {Number(ballot.pollId), TextArray(ballot.choiceNames), ballot.userId, ballot.userName});
    if (rows.Count() == 0) return StoreOutcome::NotFound;
    if (rows.Text(0, 0) != "O") return StoreOutcome::Conflict;
    // Unknown choices, one named twice, none, or more than one for a single-answer poll.
    if (rows.Int(0, 1) != 1) return StoreOutcome::BadBallot;
    // Its event is written with the batch, after the jobs: the ballot stays one statement.
    events.Record(db, {{0, rows.Text(0, 3), "ballot", Number(ballot.pollId), rows.Text(0, 2),
                        ballot.userId}});
    return StoreOutcome::Done;
}

void PgPollStore::LoadDetail(PgConnection& db, PollDetail detail, std::vector<PollView>& polls) {
    if (polls.empty()) return;
    std::vector<std::int64_t> ids;
    std::unordered_map<std::int64_t, PollView*> byId;
    for (auto& poll : polls) {
        ids.push_back(poll.id);
        byId.emplace(poll.id, &poll);
    }
    const auto idArray = IdArray(ids);
    const auto choices = db.Query(
        "SELECT poll_id, name, content FROM choices WHERE poll_id = ANY($1::bigint[]) "
        "ORDER BY poll_id, position",
        {idArray});
    for (int row = 0; row < choices.Count(); ++row)
        byId.at(choices.Int(row, 0))
            ->choices.push_back({choices.Text(row, 1), choices.Text(row, 2), 0, {}});
    if (detail == PollDetail::Choices) return;

    const auto ballots = db.Query(
        "SELECT poll_id, marks, user_name FROM ballots WHERE poll_id = ANY($1::bigint[]) "
        "ORDER BY poll_id, seq",
        {idArray});
    for (int row = 0; row < ballots.Count(); ++row) {
        PollView& poll = *byId.at(ballots.Int(row, 0));
        const bool withVoters = detail == PollDetail::CountsAndVoters && poll.identified;
        ++poll.userCount;
        const auto marks = static_cast<std::uint64_t>(ballots.Int(row, 1));
        for (std::size_t i = 0; i < poll.choices.size() && i < kMaxChoices; ++i) {
            if ((marks & (std::uint64_t{1} << i)) == 0) continue;
            ++poll.choices[i].postCount;
            if (withVoters) poll.choices[i].voters.push_back(ballots.Text(row, 2));
        }
    }
}

namespace {

constexpr const char* kPollColumns =
    "SELECT id, title, type, identified, published, status FROM polls ";

PollView PollAt(const PgConnection::Rows& rows, int row) {
    PollView poll;
    poll.id = rows.Int(row, 0);
    poll.title = rows.Text(row, 1);
    poll.type = FirstOf(rows.Text(row, 2), 'S');
    poll.identified = rows.Flag(row, 3);
    poll.published = rows.Flag(row, 4);
    poll.status = FirstOf(rows.Text(row, 5), 'N');
    return poll;
}

}  // namespace

bool PgPollStore::Ping() {
    return Read([](PgConnection& db) {
               db.Query("SELECT 1 FROM polls LIMIT 1");
               return StoreOutcome::Done;
           }) == StoreOutcome::Done;
}

StoreOutcome PgPollStore::ListPolls(const std::string& author, const std::string& module,
                                    PollDetail detail, std::vector<PollView>& polls) {
    return Read([&](PgConnection& db) {
        polls.clear();
        const auto rows =
            db.Query(std::string(kPollColumns) + "WHERE author = $1 AND module = $2 ORDER BY id",
                     {author, module});
        for (int row = 0; row < rows.Count(); ++row) polls.push_back(PollAt(rows, row));
        LoadDetail(db, detail, polls);
        return StoreOutcome::Done;
    });
}

StoreOutcome PgPollStore::FindPolls(const std::vector<std::int64_t>& pollIds, Filter filter,
                                    PollDetail detail, std::vector<PollView>& polls) {
    return Read([&](PgConnection& db) {
        polls.clear();
        const auto rows = db.Query(std::string(kPollColumns) + "WHERE id = ANY($1::bigint[])",
                                   {IdArray(pollIds)});
        std::unordered_map<std::int64_t, int> rowOf;
        for (int row = 0; row < rows.Count(); ++row) rowOf.emplace(rows.Int(row, 0), row);
        std::unordered_set<std::int64_t> seen;
        for (const auto id : pollIds) {
            const auto found = rowOf.find(id);
            if (found == rowOf.end() || !seen.insert(id).second) continue;
            PollView poll = PollAt(rows, found->second);
            if (filter.onlyPublished && !poll.published) continue;
            if (filter.onlyPosted && poll.status == 'N') continue;
            polls.push_back(std::move(poll));
        }
        LoadDetail(db, detail, polls);
        return StoreOutcome::Done;
    });
}

StoreOutcome PgPollStore::FindOwners(const std::vector<std::int64_t>& pollIds,
                                     std::vector<PollOwner>& owners) {
    return Read([&](PgConnection& db) {
        owners.clear();
        const auto rows =
            db.Query("SELECT id, author, module FROM polls WHERE id = ANY($1::bigint[])",
                     {IdArray(pollIds)});
        for (int row = 0; row < rows.Count(); ++row)
            owners.push_back({rows.Int(row, 0), rows.Text(row, 1), rows.Text(row, 2)});
        return StoreOutcome::Done;
    });
}

}  // namespace quibra::pollserver
