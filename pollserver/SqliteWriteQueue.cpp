#include "SqliteWriteQueue.h"

#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <vector>

#include "HandBackBatch.h"
#include "Metrics.h"
#include "SqliteConnection.h"
#include "SqliteError.h"

namespace quibra::pollserver {

SqliteWriteQueue::SqliteWriteQueue(SqliteConnection& connection, std::size_t maxBatch,
                                   Observer* observer)
    : m_db(connection),
      m_maxBatch(maxBatch == 0 ? 1 : maxBatch),
      m_observer(observer),
      m_thread([this] { Loop(); }) {}

SqliteWriteQueue::~SqliteWriteQueue() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

StoreOutcome SqliteWriteQueue::Run(Job job) {
    Pending pending;
    pending.job = std::move(job);
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) return StoreOutcome::Failed;
        m_queue.push_back(&pending);
    }
    m_wake.notify_one();
    std::unique_lock lock(pending.mutex);
    pending.wakeUp.wait(lock, [&] { return pending.finished; });
    return pending.outcome;
}

void SqliteWriteQueue::Submit(Job job, Done done, bool singleStatement) {
    auto pending = std::make_unique<Pending>();
    pending->job = std::move(job);
    pending->done = std::move(done);
    pending->singleStatement = singleStatement;
    {
        std::lock_guard lock(m_mutex);
        if (!m_stopping) {
            m_queue.push_back(pending.release());
        }
    }
    if (pending) {
        pending->done(StoreOutcome::Failed);
        return;
    }
    m_wake.notify_one();
}

void SqliteWriteQueue::Loop() {
    std::vector<Pending*> batch;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty()) return;  // stopping, and nothing left to write
            batch.clear();
            while (!m_queue.empty() && batch.size() < m_maxBatch) {
                batch.push_back(m_queue.front());
                m_queue.pop_front();
            }
        }
        const auto began = std::chrono::steady_clock::now();
        RunBatch(batch);
        Metrics::Global().GroupCommitted(batch.size(), std::chrono::steady_clock::now() - began);
        HandBackBatch(batch);
    }
}

void SqliteWriteQueue::RunBatch(const std::vector<Pending*>& batch) {
    auto failure = StoreOutcome::Failed;
    try {
        m_db.Statement("BEGIN IMMEDIATE").Run();
        for (auto* pending : batch) {
            const bool savepoint = !pending->singleStatement;
            if (savepoint) m_db.Statement("SAVEPOINT job").Run();
            try {
                pending->outcome = pending->job(m_db);
            } catch (const SqliteError& error) {
                pending->outcome = error.Busy() ? StoreOutcome::Busy : StoreOutcome::Failed;
            } catch (...) {
                pending->outcome = StoreOutcome::Failed;
            }
            if (m_observer != nullptr) m_observer->JobEnded(pending->outcome == StoreOutcome::Done);
            // A refused or failed job leaves no trace; the others in the batch stay.
            if (savepoint) {
                if (pending->outcome != StoreOutcome::Done) m_db.Statement("ROLLBACK TO job").Run();
                m_db.Statement("RELEASE job").Run();
            } else if (!m_db.InTransaction()) {
                // The failed statement took the batch's transaction with it
                // (as SQLite does on I/O errors and a full disk).
                throw SqliteError(SQLITE_ABORT, "the batch was rolled back");
            }
        }
        if (m_observer != nullptr) m_observer->BeforeCommit(m_db);
        m_db.Statement("COMMIT").Run();
        if (m_observer != nullptr) m_observer->Committed();
        return;
    } catch (const SqliteError& error) {
        failure = error.Busy() ? StoreOutcome::Busy : StoreOutcome::Failed;
    } catch (...) {
    }
    if (m_observer != nullptr) m_observer->RolledBack();
    // The transaction as a whole failed: nothing of the batch was written.
    try {
        m_db.Statement("ROLLBACK").Run();
    } catch (...) {
        // SQLite already rolled back (it does so itself on some errors).
    }
    for (auto* pending : batch)
        if (pending->outcome == StoreOutcome::Done) pending->outcome = failure;
}

}  // namespace quibra::pollserver
