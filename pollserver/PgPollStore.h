#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "PollStore.h"

namespace quibra::pollserver {

class PgConnection;
class PgEventListener;
class PgEventLog;
class PgWriteQueue;

// PollStore on a PostgreSQL database that several servers share. Writes go
// through a few writer connections in group commits (PgWriteQueue); every job
// checks what the database holds inside its own transaction and locks the poll
// it depends on, so jobs that other servers run at the same moment are
// serialised by PostgreSQL: a ballot never lands on a poll that another server
// has just closed, and two ballots of one user end as one. Reads run on
// connections of their own, each in one snapshot.
class PgPollStore : public PollStore {
public:
    // Connects and creates the schema when missing; throws PgError.
    explicit PgPollStore(std::string conninfo);
    ~PgPollStore() override;
    PgPollStore(const PgPollStore&) = delete;
    PgPollStore& operator=(const PgPollStore&) = delete;

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
    // The events of every server on the database, through LISTEN/NOTIFY.
    void SetEventListener(EventListener listener) override;
    StoreOutcome ReadEvents(const std::string& module, std::optional<std::int64_t> after,
                            EventBacklog& backlog) override;

private:
    class ReaderLease;
    template <typename Job>
    StoreOutcome Read(Job&& job);

    static void InsertChoices(PgConnection& db, std::int64_t pollId,
                              const std::vector<ChoiceText>& choices);
    static StoreOutcome WriteBallot(PgConnection& db, const Ballot& ballot, PgEventLog& events);
    // Fills choices (and counts and voters, as `detail` asks) of the polls.
    static void LoadDetail(PgConnection& db, PollDetail detail, std::vector<PollView>& polls);

    std::string m_conninfo;
    std::unique_ptr<PgEventLog> m_events;  // follows m_writeQueue's batches
    std::unique_ptr<PgWriteQueue> m_writeQueue;
    std::unique_ptr<PgEventListener> m_listener;
    std::mutex m_readersMutex;
    std::vector<std::unique_ptr<PgConnection>> m_idleReaders;
};

}  // namespace quibra::pollserver
