#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace quibra::pollserver {

class PollStore;

// The health check of a store: does it answer a trivial read within a time
// limit? The read runs on a thread of the probe's own, so a database that
// hangs never holds the caller past the limit; while one read hangs, later
// checks wait for that same read rather than starting more.
class StoreProbe {
public:
    explicit StoreProbe(PollStore& store);
    // Waits for a read still hanging (bounded by the store's own time-outs).
    ~StoreProbe();
    StoreProbe(const StoreProbe&) = delete;
    StoreProbe& operator=(const StoreProbe&) = delete;

    // True when the store answered a read begun now (or still running) within `limit`.
    bool Answers(std::chrono::milliseconds limit);

private:
    void Loop();

    PollStore& m_store;
    std::mutex m_mutex;
    std::condition_variable m_wake;    // the probe's thread: a read is wanted, or stop
    std::condition_variable m_answer;  // callers: a read finished
    std::uint64_t m_asked = 0;         // reads wanted so far; guarded by m_mutex
    std::uint64_t m_answered = 0;      // reads finished so far; guarded by m_mutex
    bool m_lastOk = false;             // guarded by m_mutex
    bool m_stopping = false;           // guarded by m_mutex
    std::thread m_thread;              // last: starts once everything above exists
};

}  // namespace quibra::pollserver
