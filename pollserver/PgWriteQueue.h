#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PollStore.h"

namespace quibra::pollserver {

class PgConnection;

// The writers of a PostgreSQL store: a few threads, each on a connection of
// its own, run the write jobs of all request threads. Jobs that arrive together
// are committed together (group commit), each inside its own savepoint so a
// refused job leaves no trace; a job is acknowledged only after its commit.
// Other servers write the same database at the same time: a batch that loses
// a deadlock or a serialization check to them is rolled back whole and run again.
class PgWriteQueue {
public:
    using Job = std::function<StoreOutcome(PgConnection&)>;
    using Done = std::function<void(StoreOutcome)>;

    // Follows the batches on each writer thread (the event log): each job's
    // end, whether it stays; the last moment before a batch commits, inside
    // its transaction (a throw fails the batch); a batch rolled back.
    class Observer {
    public:
        virtual void JobEnded(PgConnection& db, bool kept) = 0;
        virtual void BeforeCommit(PgConnection& db) = 0;
        virtual void RolledBack(PgConnection& db) = 0;

    protected:
        ~Observer() = default;
    };

    // Opens `writers` connections; throws PgError when the first cannot
    // connect. `observer`, when set, must outlive the queue.
    PgWriteQueue(const std::string& conninfo, std::size_t writers, std::size_t maxBatch,
                 Observer* observer = nullptr);
    // Runs the jobs still queued, then stops the threads.
    ~PgWriteQueue();
    PgWriteQueue(const PgWriteQueue&) = delete;
    PgWriteQueue& operator=(const PgWriteQueue&) = delete;

    // Blocks until the job is committed (Done), refused or failed.
    StoreOutcome Run(Job job);
    // The same without waiting: `done` runs on a writer thread once the job is
    // committed or refused (at once, with Failed, when the queue is stopping).
    // A `singleStatement` job is one statement that changes nothing when it
    // refuses: it needs no savepoint (two round trips fewer), and should it
    // fail, the batch fails whole.
    void Submit(Job job, Done done, bool singleStatement = false);

private:
    struct Pending {
        Job job;
        Done done;
        bool singleStatement = false;
        StoreOutcome outcome = StoreOutcome::Failed;
        std::mutex mutex;
        std::condition_variable wakeUp;
        bool finished = false;  // guarded by mutex
    };

    void Loop(PgConnection& db);
    void RunBatch(PgConnection& db, const std::vector<Pending*>& batch);
    StoreOutcome TryBatch(PgConnection& db, const std::vector<Pending*>& batch);

    const std::size_t m_maxBatch;
    Observer* const m_observer;
    std::vector<std::unique_ptr<PgConnection>> m_connections;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Pending*> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;  // last: start after everything above exists
};

}  // namespace quibra::pollserver
