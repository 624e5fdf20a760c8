#pragma once

#include <exception>
#include <memory>
#include <mutex>
#include <vector>

namespace quibra::pollserver {

// Gives each job of a written batch its outcome: a submitted job (one with a
// `done` callback) is owned by the queue, called and freed here; a waited-for
// job is marked finished and its waiter woken. Notified under the job's own
// lock, so the waiter cannot return (and destroy the entry) before the writer
// has let go of that lock. A throwing callback is the submitter's business.
template <class Pending>
void HandBackBatch(const std::vector<Pending*>& batch) {
    for (Pending* pending : batch) {
        if (pending->done) {
            std::unique_ptr<Pending> owned(pending);
            try {
                owned->done(owned->outcome);
            } catch (...) {
            }
            continue;
        }
        std::lock_guard lock(pending->mutex);
        pending->finished = true;
        pending->wakeUp.notify_one();
    }
}

}  // namespace quibra::pollserver
