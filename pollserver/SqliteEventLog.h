#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "EventBatch.h"
#include "PollStore.h"
#include "SqliteWriteQueue.h"

namespace quibra::pollserver {

class SqliteConnection;

// The event stream's log in the SQLite database: the jobs record their events
// while they run on the writer thread (Record); the events of the jobs that
// stay are written with ids just before their batch commits, so a change and
// its event are one transaction, and go to the listener once committed.
// Kept at least `keepSeconds` or the newest `keepPerModule` of a module,
// whichever keeps more; pruned now and then beyond both.
class SqliteEventLog final : public SqliteWriteQueue::Observer {
public:
    // Creates the log's tables on the writer's connection; throws SqliteError.
    explicit SqliteEventLog(SqliteConnection& writer, std::int64_t keepSeconds = 600,
                            std::int64_t keepPerModule = 10000);
    SqliteEventLog(const SqliteEventLog&) = delete;
    SqliteEventLog& operator=(const SqliteEventLog&) = delete;

    void SetListener(PollStore::EventListener listener);
    // Writer thread, within a job: an event of that job, written if it stays.
    void Record(StreamEvent event) { m_batch.Record(std::move(event)); }
    void Record(std::vector<StreamEvent> events) { m_batch.Record(std::move(events)); }

    // Within a read transaction.
    static StoreOutcome Read(SqliteConnection& db, const std::string& module,
                             std::optional<std::int64_t> after, EventBacklog& backlog);

    void JobEnded(bool kept) override;
    void BeforeCommit(SqliteConnection& db) override;
    void Committed() override;
    void RolledBack() override;

private:
    // `newest`: the newest id of the transaction at hand.
    void Prune(SqliteConnection& db, std::int64_t now, std::int64_t newest);

    const std::int64_t m_keepSeconds;
    const std::int64_t m_keepPerModule;
    // Writer thread only:
    EventBatch m_batch;
    std::set<std::string> m_touched;  // modules with events since the last pruning
    std::int64_t m_sincePrune = 0;    // events written since then
    std::int64_t m_prunedAt = 0;      // when (seconds since the epoch)
    // Ids grow with time: (when, the newest id committed by then), one per
    // pruning, oldest first; those older than kept give m_oldThrough, the
    // newest id old enough to go, so the age cut never reads the log.
    std::deque<std::pair<std::int64_t, std::int64_t>> m_marks;
    std::int64_t m_oldThrough = 0;
    std::int64_t m_oldThroughBefore = 0;  // before the pruning of the transaction at hand
    bool m_markPending = false;           // that pruning's mark is not committed yet

    std::mutex m_listenerMutex;
    PollStore::EventListener m_listener;  // guarded by m_listenerMutex
};

}  // namespace quibra::pollserver
