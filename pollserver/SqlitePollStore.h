#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "PollStore.h"

namespace quibra::pollserver {

class SqliteConnection;
class SqliteEventLog;
class SqliteWriteQueue;

// PollStore on one SQLite file in WAL mode. Jobs that write go through one
// writer thread and connection (SqliteWriteQueue), so concurrent ballots never
// race each other; reads run on connections of their own, each in one read
// transaction that sees a committed snapshot.
class SqlitePollStore : public PollStore {
public:
    // How far a commit goes before its jobs are acknowledged. In WAL mode both
    // keep every acknowledged job across a crash of the process (kill -9);
    // Full also across a power loss, at the cost of a sync of the log per commit.
    enum class Sync { Full, Normal };

    // Opens or creates the database and its schema; throws SqliteError.
    explicit SqlitePollStore(std::filesystem::path file, Sync sync = Sync::Normal);
    ~SqlitePollStore() override;
    SqlitePollStore(const SqlitePollStore&) = delete;
    SqlitePollStore& operator=(const SqlitePollStore&) = delete;

    StoreOutcome CreatePoll(const NewPoll& poll, std::int64_t& newId) override;
    StoreOutcome UpdatePoll(std::int64_t pollId, const PollDraft& draft) override;
    StoreOutcome ChangeStatus(const std::vector<StatusChange>& changes) override;
    StoreOutcome DeletePolls(const std::vector<std::int64_t>& pollIds) override;
    StoreOutcome CastBallot(const Ballot& ballot) override;
    void CastBallotLater(const Ballot& ballot, std::function<void(StoreOutcome)> done) override;
    bool Ping() override;
    StoreOutcome ListPolls(const std::string& author, const std::string& module, PollDetail detail,
                           std::vector<PollView>& polls) override;
    StoreOutcome FindPolls(const std::vector<std::int64_t>& pollIds, Filter filter,
                           PollDetail detail, std::vector<PollView>& polls) override;
    StoreOutcome FindOwners(const std::vector<std::int64_t>& pollIds,
                            std::vector<PollOwner>& owners) override;
    void SetEventListener(EventListener listener) override;
    StoreOutcome ReadEvents(const std::string& module, std::optional<std::int64_t> after,
                            EventBacklog& backlog) override;

private:
    class ReaderLease;
    template <typename Job>
    StoreOutcome Write(Job&& job);
    template <typename Job>
    StoreOutcome Read(Job&& job);

    static void InsertChoices(SqliteConnection& db, std::int64_t pollId,
                              const std::vector<ChoiceText>& choices);
    static StoreOutcome WriteBallot(SqliteConnection& db, const Ballot& ballot,
                                    SqliteEventLog& events);
    static bool LoadPoll(SqliteConnection& db, std::int64_t pollId, PollView& poll);
    static void LoadDetail(SqliteConnection& db, PollDetail detail, PollView& poll);

    std::filesystem::path m_file;
    std::unique_ptr<SqliteConnection> m_writer;
    std::unique_ptr<SqliteEventLog> m_events;        // follows m_writeQueue's batches
    std::unique_ptr<SqliteWriteQueue> m_writeQueue;  // the only user of m_writer
    std::mutex m_readersMutex;
    std::vector<std::unique_ptr<SqliteConnection>> m_idleReaders;
};

}  // namespace quibra::pollserver
