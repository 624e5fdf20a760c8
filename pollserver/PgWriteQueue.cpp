#include "PgWriteQueue.h"

#include <chrono>

#include "HandBackBatch.h"
#include "Metrics.h"
#include "PgConnection.h"
#include "PgError.h"

namespace quibra::pollserver {

namespace {

// Rounds a batch may take when it keeps losing to other transactions.
constexpr int kAttempts = 8;

}  // namespace

PgWriteQueue::PgWriteQueue(const std::string& conninfo, std::size_t writers, std::size_t maxBatch,
                           Observer* observer)
    : m_maxBatch(maxBatch == 0 ? 1 : maxBatch), m_observer(observer) {
    for (std::size_t i = 0; i < (writers == 0 ? 1 : writers); ++i)
        m_connections.push_back(std::make_unique<PgConnection>(conninfo));
    for (auto& connection : m_connections)
        m_threads.emplace_back([this, db = connection.get()] { Loop(*db); });
}

PgWriteQueue::~PgWriteQueue() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (auto& thread : m_threads) thread.join();
}

StoreOutcome PgWriteQueue::Run(Job job) {
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

void PgWriteQueue::Submit(Job job, Done done, bool singleStatement) {
    auto pending = std::make_unique<Pending>();
    pending->singleStatement = singleStatement;
    pending->job = std::move(job);
    pending->done = std::move(done);
    {
        std::lock_guard lock(m_mutex);
        if (!m_stopping) m_queue.push_back(pending.release());
    }
    if (pending) {
        pending->done(StoreOutcome::Failed);
        return;
    }
    m_wake.notify_one();
}

void PgWriteQueue::Loop(PgConnection& db) {
    std::vector<Pending*> batch;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty()) return;
            batch.clear();
            while (!m_queue.empty() && batch.size() < m_maxBatch) {
                batch.push_back(m_queue.front());
                m_queue.pop_front();
            }
        }
        const auto began = std::chrono::steady_clock::now();
        RunBatch(db, batch);
        Metrics::Global().GroupCommitted(batch.size(), std::chrono::steady_clock::now() - began);
        HandBackBatch(batch);
    }
}

void PgWriteQueue::RunBatch(PgConnection& db, const std::vector<Pending*>& batch) {
    StoreOutcome failure = StoreOutcome::Failed;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        failure = TryBatch(db, batch);
        if (failure == StoreOutcome::Done) return;
        if (m_observer != nullptr) m_observer->RolledBack(db);
        try {
            db.Execute("ROLLBACK");
        } catch (const PgError&) {
            // The connection is gone: the server rolled back for us.
        }
        db.Healthy();
        if (failure != StoreOutcome::Busy) break;
    }
    // Nothing of the batch was committed.
    for (auto* pending : batch)
        if (pending->outcome == StoreOutcome::Done) pending->outcome = failure;
}

// Done when the batch committed, Busy when it lost to another transaction and
// may run again, Failed when it could not be written.
StoreOutcome PgWriteQueue::TryBatch(PgConnection& db, const std::vector<Pending*>& batch) {
    try {
        db.Begin();
        for (auto* pending : batch) {
            if (pending->singleStatement) {
                pending->outcome = pending->job(db);
                if (m_observer != nullptr)
                    m_observer->JobEnded(db, pending->outcome == StoreOutcome::Done);
                continue;
            }
            db.Execute("SAVEPOINT job");
            try {
                pending->outcome = pending->job(db);
            } catch (const PgError& error) {
                if (error.Retryable() || error.State().empty()) throw;
                pending->outcome = StoreOutcome::Failed;
            }
            if (m_observer != nullptr)
                m_observer->JobEnded(db, pending->outcome == StoreOutcome::Done);
            // A refused or failed job leaves no trace; the others in the batch stay.
            if (pending->outcome != StoreOutcome::Done) db.Execute("ROLLBACK TO SAVEPOINT job");
            db.Execute("RELEASE SAVEPOINT job");
        }
        if (m_observer != nullptr) m_observer->BeforeCommit(db);
        db.Execute("COMMIT");
        return StoreOutcome::Done;
    } catch (const PgError& error) {
        return error.Retryable() ? StoreOutcome::Busy : StoreOutcome::Failed;
    } catch (...) {
        return StoreOutcome::Failed;
    }
}

}  // namespace quibra::pollserver
