#include "SqlitePollStore.h"

#include <algorithm>
#include <unordered_set>

#include "SqliteConnection.h"
#include "SqliteError.h"
#include "SqliteEventLog.h"
#include "SqliteTransaction.h"
#include "SqliteWriteQueue.h"

namespace quibra::pollserver {

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS polls(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  author TEXT NOT NULL,
  module TEXT NOT NULL,
  title TEXT NOT NULL,
  type TEXT NOT NULL,
  identified INTEGER NOT NULL,
  published INTEGER NOT NULL,
  status TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS polls_by_owner ON polls(author, module, id);
CREATE TABLE IF NOT EXISTS choices(
  poll_id INTEGER NOT NULL REFERENCES polls(id) ON DELETE CASCADE,
  position INTEGER NOT NULL,
  name TEXT NOT NULL,
  content TEXT NOT NULL,
  PRIMARY KEY(poll_id, position),
  UNIQUE(poll_id, name)) WITHOUT ROWID;
-- One row per voter and poll: a second ballot of the same user replaces the
-- row's marks. `marks` holds bit i for the choice at position i (at most 64).
CREATE TABLE IF NOT EXISTS ballots(
  poll_id INTEGER NOT NULL REFERENCES polls(id) ON DELETE CASCADE,
  user_id TEXT NOT NULL,
  user_name TEXT NOT NULL,
  marks INTEGER NOT NULL,
  UNIQUE(poll_id, user_id));
)sql";

// Choice positions are bits of a 64-bit mask; the jobs allow 64 choices at most.
constexpr std::int64_t kMaxChoices = 64;

// Jobs committed together at most; bounds the wait of the last one in a batch.
constexpr std::size_t kMaxBatch = 256;

std::string Letter(char c) {
    return std::string(1, c);
}
char FirstOf(const std::string& text, char fallback) {
    return text.empty() ? fallback : text.front();
}

StoreOutcome FromError(const SqliteError& error) {
    return error.Busy() ? StoreOutcome::Busy : StoreOutcome::Failed;
}

}  // namespace

// A reader connection borrowed from the idle list and given back on scope exit.
class SqlitePollStore::ReaderLease {
public:
    explicit ReaderLease(SqlitePollStore& store) : m_store(store) {
        {
            std::lock_guard lock(store.m_readersMutex);
            if (!store.m_idleReaders.empty()) {
                m_connection = std::move(store.m_idleReaders.back());
                store.m_idleReaders.pop_back();
            }
        }
        if (!m_connection) m_connection = std::make_unique<SqliteConnection>(store.m_file);
    }
    ~ReaderLease() {
        std::lock_guard lock(m_store.m_readersMutex);
        m_store.m_idleReaders.push_back(std::move(m_connection));
    }
    ReaderLease(const ReaderLease&) = delete;
    ReaderLease& operator=(const ReaderLease&) = delete;
    SqliteConnection& Connection() { return *m_connection; }

private:
    SqlitePollStore& m_store;
    std::unique_ptr<SqliteConnection> m_connection;
};

SqlitePollStore::SqlitePollStore(std::filesystem::path file, Sync sync)
    : m_file(std::move(file)), m_writer(std::make_unique<SqliteConnection>(m_file)) {
    m_writer->Execute(kSchema);
    // Only the writer commits: the setting matters on its connection alone.
    if (sync == Sync::Full) m_writer->Execute("PRAGMA synchronous=FULL");
    // Checkpoints stay with the writer (SQLite's automatic one after a commit):
    // only a checkpoint that runs between the writer's transactions lets the
    // log start over, so the log stays small under a steady stream of ballots.
    m_events = std::make_unique<SqliteEventLog>(*m_writer);
    m_writeQueue = std::make_unique<SqliteWriteQueue>(*m_writer, kMaxBatch, m_events.get());
}

SqlitePollStore::~SqlitePollStore() {
    m_writeQueue.reset();  // every queued job is written before the store goes
    m_idleReaders.clear();
    // Fold the write-ahead log into the main file so a stopped server leaves
    // one self-contained database behind.
    try {
        m_writer->Execute("PRAGMA wal_checkpoint(TRUNCATE)");
    } catch (const SqliteError&) {
        // The log stays and is replayed at the next open; nothing is lost.
    }
}

template <typename Job>
StoreOutcome SqlitePollStore::Write(Job&& job) {
    return m_writeQueue->Run(std::forward<Job>(job));
}

template <typename Job>
StoreOutcome SqlitePollStore::Read(Job&& job) {
    try {
        ReaderLease lease(*this);
        SqliteTransaction transaction(lease.Connection(), SqliteTransaction::Kind::Read);
        const StoreOutcome outcome = job(lease.Connection());
        transaction.Commit();
        return outcome;
    } catch (const SqliteError& error) {
        return FromError(error);
    }
}

void SqlitePollStore::InsertChoices(SqliteConnection& db, std::int64_t pollId,
                                    const std::vector<ChoiceText>& choices) {
    for (std::size_t i = 0; i < choices.size(); ++i)
        db.Statement("INSERT INTO choices(poll_id, position, name, content) VALUES(?1, ?2, ?3, ?4)")
            .Bind(1, pollId)
            .Bind(2, static_cast<std::int64_t>(i))
            .Bind(3, choices[i].name)
            .Bind(4, choices[i].content)
            .Run();
}

StoreOutcome SqlitePollStore::CreatePoll(const NewPoll& poll, std::int64_t& newId) {
    return Write([&](SqliteConnection& db) {
        auto& insert = db.Statement(
            "INSERT INTO polls(author, module, title, type, identified, published, status) "
            "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7) RETURNING id");
        insert.Bind(1, poll.author)
            .Bind(2, poll.module)
            .Bind(3, poll.draft.title)
            .Bind(4, Letter(poll.draft.type))
            .Bind(5, std::int64_t{poll.draft.identified})
            .Bind(6, std::int64_t{poll.published})
            .Bind(7, Letter(poll.status));
        if (!insert.Step()) return StoreOutcome::Failed;
        newId = insert.Int(0);
        insert.Run();
        InsertChoices(db, newId, poll.draft.choices);
        m_events->Record(
            StreamEvent::ForStatus({{newId, poll.status, poll.published}}, {poll.module}));
        return StoreOutcome::Done;
    });
}

StoreOutcome SqlitePollStore::UpdatePoll(std::int64_t pollId, const PollDraft& draft) {
    return Write([&](SqliteConnection& db) {
        auto& find = db.Statement("SELECT status FROM polls WHERE id = ?1");
        if (!find.Bind(1, pollId).Step()) return StoreOutcome::NotFound;
        const std::string status = find.Text(0);
        find.Reset();
        if (status != "N") return StoreOutcome::Conflict;
        auto& voters = db.Statement("SELECT EXISTS(SELECT 1 FROM ballots WHERE poll_id = ?1)");
        voters.Bind(1, pollId).Step();
        const bool hasBallots = voters.Int(0) != 0;
        voters.Reset();
        // Ballots name choices by position: rewriting the choices under them
        // would silently move votes, so a poll that was ever answered stays as it is.
        if (hasBallots) return StoreOutcome::Conflict;
        db.Statement("UPDATE polls SET title = ?2, type = ?3, identified = ?4 WHERE id = ?1")
            .Bind(1, pollId)
            .Bind(2, draft.title)
            .Bind(3, Letter(draft.type))
            .Bind(4, std::int64_t{draft.identified})
            .Run();
        db.Statement("DELETE FROM choices WHERE poll_id = ?1").Bind(1, pollId).Run();
        InsertChoices(db, pollId, draft.choices);
        return StoreOutcome::Done;
    });
}

StoreOutcome SqlitePollStore::ChangeStatus(const std::vector<StatusChange>& changes) {
    return Write([&](SqliteConnection& db) {
        std::vector<std::string> modules;
        for (const auto& change : changes) {
            auto& find = db.Statement("SELECT module FROM polls WHERE id = ?1");
            const bool exists = find.Bind(1, change.pollId).Step();
            if (exists) modules.push_back(find.Text(0));
            find.Reset();
            if (!exists) return StoreOutcome::NotFound;
            if (change.status)
                db.Statement("UPDATE polls SET status = ?2 WHERE id = ?1")
                    .Bind(1, change.pollId)
                    .Bind(2, Letter(*change.status))
                    .Run();
            if (change.published)
                db.Statement("UPDATE polls SET published = ?2 WHERE id = ?1")
                    .Bind(1, change.pollId)
                    .Bind(2, std::int64_t{*change.published})
                    .Run();
        }
        m_events->Record(StreamEvent::ForStatus(changes, modules));
        return StoreOutcome::Done;
    });
}

StoreOutcome SqlitePollStore::DeletePolls(const std::vector<std::int64_t>& pollIds) {
    return Write([&](SqliteConnection& db) {
        for (const auto id : pollIds)
            db.Statement("DELETE FROM polls WHERE id = ?1").Bind(1, id).Run();
        return StoreOutcome::Done;
    });
}

StoreOutcome SqlitePollStore::CastBallot(const Ballot& ballot) {
    return Write([&](SqliteConnection& db) { return WriteBallot(db, ballot, *m_events); });
}

void SqlitePollStore::CastBallotLater(const Ballot& ballot,
                                      std::function<void(StoreOutcome)> done) {
    // Its event is written with the batch, after the jobs: the ballot itself
    // stays one statement.
    m_writeQueue->Submit([ballot, events = m_events.get()](
                             SqliteConnection& db) { return WriteBallot(db, ballot, *events); },
                         std::move(done), /*singleStatement=*/true);
}

StoreOutcome SqlitePollStore::WriteBallot(SqliteConnection& db, const Ballot& ballot,
                                          SqliteEventLog& events) {
    auto& find =
        db.Statement("SELECT status, type, identified, author, module FROM polls WHERE id = ?1");
    if (!find.Bind(1, ballot.pollId).Step()) return StoreOutcome::NotFound;
    const std::string status = find.Text(0);
    const char type = FirstOf(find.Text(1), 'S');
    const bool identified = find.Int(2) != 0;
    StreamEvent event{
        0, find.Text(4), "ballot", std::to_string(ballot.pollId), find.Text(3), ballot.userId};
    find.Reset();
    if (status != "O") return StoreOutcome::Conflict;
    if (ballot.choiceNames.empty() || (type == 'S' && ballot.choiceNames.size() != 1))
        return StoreOutcome::BadBallot;

    std::uint64_t marks = 0;
    for (const auto& name : ballot.choiceNames) {
        auto& choice =
            db.Statement("SELECT position FROM choices WHERE poll_id = ?1 AND name = ?2");
        if (!choice.Bind(1, ballot.pollId).Bind(2, name).Step()) return StoreOutcome::BadBallot;
        const std::int64_t position = choice.Int(0);
        choice.Reset();
        if (position < 0 || position >= kMaxChoices) return StoreOutcome::BadBallot;
        const std::uint64_t bit = std::uint64_t{1} << position;
        if ((marks & bit) != 0) return StoreOutcome::BadBallot;  // one choice named twice
        marks |= bit;
    }

    // A second ballot of the same user replaces the first; the voter keeps
    // the place of the first ballot in the list. The name of a voter of an
    // anonymous poll is never stored at all.
    db.Statement(
          "INSERT INTO ballots(poll_id, user_id, user_name, marks) VALUES(?1, ?2, ?3, ?4) "
          "ON CONFLICT(poll_id, user_id) DO UPDATE SET user_name = excluded.user_name, marks = "
          "excluded.marks")
        .Bind(1, ballot.pollId)
        .Bind(2, ballot.userId)
        .Bind(3, identified ? ballot.userName : std::string())
        .Bind(4, static_cast<std::int64_t>(marks))
        .Run();
    events.Record(std::move(event));
    return StoreOutcome::Done;
}

bool SqlitePollStore::LoadPoll(SqliteConnection& db, std::int64_t pollId, PollView& poll) {
    auto& find =
        db.Statement("SELECT title, type, identified, published, status FROM polls WHERE id = ?1");
    if (!find.Bind(1, pollId).Step()) return false;
    poll.id = pollId;
    poll.title = find.Text(0);
    poll.type = FirstOf(find.Text(1), 'S');
    poll.identified = find.Int(2) != 0;
    poll.published = find.Int(3) != 0;
    poll.status = FirstOf(find.Text(4), 'N');
    find.Reset();
    return true;
}

void SqlitePollStore::LoadDetail(SqliteConnection& db, PollDetail detail, PollView& poll) {
    auto& choices =
        db.Statement("SELECT name, content FROM choices WHERE poll_id = ?1 ORDER BY position");
    choices.Bind(1, poll.id);
    while (choices.Step()) poll.choices.push_back({choices.Text(0), choices.Text(1), 0, {}});
    if (detail == PollDetail::Choices) return;

    const bool withVoters = detail == PollDetail::CountsAndVoters && poll.identified;
    auto& ballots =
        db.Statement("SELECT marks, user_name FROM ballots WHERE poll_id = ?1 ORDER BY rowid");
    ballots.Bind(1, poll.id);
    while (ballots.Step()) {
        ++poll.userCount;
        const auto marks = static_cast<std::uint64_t>(ballots.Int(0));
        for (std::size_t i = 0; i < poll.choices.size() && i < kMaxChoices; ++i) {
            if ((marks & (std::uint64_t{1} << i)) == 0) continue;
            ++poll.choices[i].postCount;
            if (withVoters) poll.choices[i].voters.push_back(ballots.Text(1));
        }
    }
}

bool SqlitePollStore::Ping() {
    return Read([](SqliteConnection& db) {
               // Stepped to its end, so no read stays open.
               auto& probe = db.Statement("SELECT 1 FROM polls LIMIT 1");
               while (probe.Step()) {
               }
               return StoreOutcome::Done;
           }) == StoreOutcome::Done;
}

StoreOutcome SqlitePollStore::ListPolls(const std::string& author, const std::string& module,
                                        PollDetail detail, std::vector<PollView>& polls) {
    return Read([&](SqliteConnection& db) {
        polls.clear();
        std::vector<std::int64_t> ids;
        auto& list =
            db.Statement("SELECT id FROM polls WHERE author = ?1 AND module = ?2 ORDER BY id");
        list.Bind(1, author).Bind(2, module);
        while (list.Step()) ids.push_back(list.Int(0));
        for (const auto id : ids) {
            PollView poll;
            if (!LoadPoll(db, id, poll)) continue;
            LoadDetail(db, detail, poll);
            polls.push_back(std::move(poll));
        }
        return StoreOutcome::Done;
    });
}

StoreOutcome SqlitePollStore::FindPolls(const std::vector<std::int64_t>& pollIds, Filter filter,
                                        PollDetail detail, std::vector<PollView>& polls) {
    return Read([&](SqliteConnection& db) {
        polls.clear();
        std::unordered_set<std::int64_t> seen;
        for (const auto id : pollIds) {
            if (!seen.insert(id).second) continue;
            PollView poll;
            if (!LoadPoll(db, id, poll)) continue;
            if (filter.onlyPublished && !poll.published) continue;
            if (filter.onlyPosted && poll.status == 'N') continue;
            LoadDetail(db, detail, poll);
            polls.push_back(std::move(poll));
        }
        return StoreOutcome::Done;
    });
}

StoreOutcome SqlitePollStore::FindOwners(const std::vector<std::int64_t>& pollIds,
                                         std::vector<PollOwner>& owners) {
    return Read([&](SqliteConnection& db) {
        owners.clear();
        std::unordered_set<std::int64_t> seen;
        for (const auto id : pollIds) {
            if (!seen.insert(id).second) continue;
            auto& find = db.Statement("SELECT author, module FROM polls WHERE id = ?1");
            if (find.Bind(1, id).Step()) owners.push_back({id, find.Text(0), find.Text(1)});
            find.Reset();
        }
        return StoreOutcome::Done;
    });
}

void SqlitePollStore::SetEventListener(EventListener listener) {
    m_events->SetListener(std::move(listener));
}

StoreOutcome SqlitePollStore::ReadEvents(const std::string& module,
                                         std::optional<std::int64_t> after, EventBacklog& backlog) {
    return Read(
        [&](SqliteConnection& db) { return SqliteEventLog::Read(db, module, after, backlog); });
}

}  // namespace quibra::pollserver
