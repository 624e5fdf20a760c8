#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "EventBatch.h"
#include "PgWriteQueue.h"
#include "PollStore.h"

namespace quibra::pollserver {

class PgConnection;

// The event stream's log in a PostgreSQL database that several servers share.
// The jobs record their events on their writer's connection (Record); the
// events of the jobs that stay are written just before their batch commits,
// with ids from one sequence, and announced with NOTIFY in the same
// transaction. Batches that write events take one transaction lock of the
// database first, so ids are taken in commit order on every server: whoever
// has seen an id has seen every id below it (PgEventListener reads "after the
// last one"). Kept like SqliteEventLog: at least 10 minutes or the newest
// 10,000 of a module.
class PgEventLog final : public PgWriteQueue::Observer {
public:
    static constexpr const char* kChannel = "quibra_events";
    // The log's tables, for the store's schema transaction.
    static const char* Schema();

    // A writer thread, within a job: an event of that job, written if it stays.
    void Record(PgConnection& db, std::vector<StreamEvent> events);

    // Within a read snapshot.
    static void Read(PgConnection& db, const std::string& module, std::optional<std::int64_t> after,
                     EventBacklog& backlog);
    // All events after `after`, in id order (the listener's catch-up).
    static std::vector<StreamEvent> After(PgConnection& db, std::int64_t after);
    // The newest id ever committed (1 for an empty log).
    static std::int64_t Newest(PgConnection& db);

    void JobEnded(PgConnection& db, bool kept) override;
    void BeforeCommit(PgConnection& db) override;
    void RolledBack(PgConnection& db) override;

private:
    EventBatch& BatchOf(PgConnection& db);
    void Prune(PgConnection& db, std::int64_t now);

    std::mutex m_mutex;
    // Each writer's connection has its batch; only its thread touches it.
    std::unordered_map<PgConnection*, EventBatch> m_batches;  // the map guarded by m_mutex
    // Pruning, by whichever writer's turn it is; guarded by m_mutex.
    std::set<std::string> m_touched;
    std::int64_t m_sincePrune = 0;
    std::int64_t m_prunedAt = 0;
};

}  // namespace quibra::pollserver
