#pragma once

#include <cstdint>
#include <string>
#include <thread>

#include "PollStore.h"

namespace quibra::pollserver {

// Hears the events that every server sharing a PostgreSQL database commits
// (LISTEN on a connection of its own, woken by the NOTIFY of each commit that
// wrote events) and hands them to `listener` in id order, which is commit
// order (PgEventLog). Reads "after the last one it handed over", so a lost
// connection only delays events: once back, it catches up from the log.
class PgEventListener {
public:
    // Starts listening at once; the events committed from then on are handed over.
    PgEventListener(std::string conninfo, PollStore::EventListener listener);
    // Stops and joins the thread.
    ~PgEventListener();
    PgEventListener(const PgEventListener&) = delete;
    PgEventListener& operator=(const PgEventListener&) = delete;

private:
    void Run();
    // Waits for `fd` (or nothing, -1) to be readable, at most `ms`; false once stopping.
    bool Wait(int fd, int ms);

    const std::string m_conninfo;
    const PollStore::EventListener m_listener;
    int m_wake = -1;           // eventfd: stop
    std::int64_t m_last = -1;  // the newest id handed over; -1 before the first connection
    std::thread m_thread;      // last: starts after everything above exists
};

}  // namespace quibra::pollserver
