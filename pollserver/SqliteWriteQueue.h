#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "PollStore.h"

namespace quibra::pollserver {

class SqliteConnection;

// The one writer of the database: a thread that runs the write jobs of all
// request threads on one connection, so concurrent jobs never race or wait on
// SQLite's file locks. Each job runs inside its own savepoint (or is one
// statement) and happens whole
// or not at all; jobs that arrive together are committed together (group
// commit), and Run returns only after that commit, so every acknowledged job
// is in the database. Under light load a batch is a single job.
class SqliteWriteQueue {
public:
    using Job = std::function<StoreOutcome(SqliteConnection&)>;
    using Done = std::function<void(StoreOutcome)>;

    // Follows the batches on the writer thread (the event log): each job's
    // end, whether it stays; the last moment before a batch commits, inside
    // its transaction (a throw rolls the whole batch back); then its commit or
    // its rollback.
    class Observer {
    public:
        virtual void JobEnded(bool kept) = 0;
        virtual void BeforeCommit(SqliteConnection& db) = 0;
        virtual void Committed() = 0;
        virtual void RolledBack() = 0;

    protected:
        ~Observer() = default;
    };

    // `observer`, when set, must outlive the queue.
    SqliteWriteQueue(SqliteConnection& connection, std::size_t maxBatch,
                     Observer* observer = nullptr);
    // Runs the jobs still queued, then stops the thread.
    ~SqliteWriteQueue();
    SqliteWriteQueue(const SqliteWriteQueue&) = delete;
    SqliteWriteQueue& operator=(const SqliteWriteQueue&) = delete;

    // Blocks until the job is committed (Done) or was refused or failed;
    // anything but Done leaves the database as it was.
    StoreOutcome Run(Job job);
    // The same without waiting: `done` runs on the writer thread once the job
    // is committed or refused (at once, with Failed, when the queue is stopping).
    // A `singleStatement` job writes with its last statement only: it refuses
    // before writing, and SQLite undoes a failed statement by itself, so it
    // needs no savepoint (two statements fewer per ballot).
    void Submit(Job job, Done done, bool singleStatement = false);

private:
    struct Pending {
        Job job;
        Done done;  // set: submitted, owned by the queue; else a waiter in Run owns it
        bool singleStatement = false;
        StoreOutcome outcome = StoreOutcome::Failed;
        // Its own lock and signal, so a finished batch wakes each waiter
        // without all of them contending for the queue's lock.
        std::mutex mutex;
        std::condition_variable wakeUp;
        bool finished = false;  // guarded by mutex
    };

    void Loop();
    void RunBatch(const std::vector<Pending*>& batch);

    SqliteConnection& m_db;
    const std::size_t m_maxBatch;
    Observer* const m_observer;
    std::mutex m_mutex;
    std::condition_variable m_wake;  // the writer: work arrived or stop
    std::deque<Pending*> m_queue;
    bool m_stopping = false;
    std::thread m_thread;  // last: starts after everything above exists
};

}  // namespace quibra::pollserver
