#pragma once

#include <vector>

#include "StreamEvent.h"

namespace quibra::pollserver {

// The events of one writer's batch while it is written: those of the running
// job, kept only when the job stays, and those of the jobs that stayed.
class EventBatch {
public:
    void Record(StreamEvent event) { m_job.push_back(std::move(event)); }
    void Record(std::vector<StreamEvent> events) {
        for (auto& event : events) m_job.push_back(std::move(event));
    }
    void JobEnded(bool kept) {
        if (kept)
            for (auto& event : m_job) m_kept.push_back(std::move(event));
        m_job.clear();
    }
    // The kept events, for their ids to be filled in.
    std::vector<StreamEvent>& Kept() { return m_kept; }
    void Clear() {
        m_job.clear();
        m_kept.clear();
    }

private:
    std::vector<StreamEvent> m_job;
    std::vector<StreamEvent> m_kept;
};

}  // namespace quibra::pollserver
