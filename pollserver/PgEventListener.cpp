#include "PgEventListener.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>

#include "PgConnection.h"
#include "PgError.h"
#include "PgEventLog.h"

namespace quibra::pollserver {

namespace {

// How long to wait before connecting again after the database went away.
constexpr int kRetryMs = 1000;

}  // namespace

PgEventListener::PgEventListener(std::string conninfo, PollStore::EventListener listener)
    : m_conninfo(std::move(conninfo)),
      m_listener(std::move(listener)),
      m_wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_wake < 0) throw std::runtime_error("cannot set up the event listener");
    // The first connection is made here, so events committed after the
    // server is up are never missed.
    PgConnection db(m_conninfo);
    db.Execute("LISTEN quibra_events");
    m_last = PgEventLog::Newest(db);
    m_thread = std::thread([this] { Run(); });
}

PgEventListener::~PgEventListener() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_wake, &one, sizeof one);
    m_thread.join();
    ::close(m_wake);
}

bool PgEventListener::Wait(int fd, int ms) {
    pollfd ready[2] = {{m_wake, POLLIN, 0}, {fd, POLLIN, 0}};
    ::poll(ready, fd >= 0 ? 2 : 1, ms);
    return (ready[0].revents & POLLIN) == 0;
}

void PgEventListener::Run() {
    for (;;) {
        try {
            PgConnection db(m_conninfo);
            db.Execute("LISTEN quibra_events");
            // Whatever was committed while no one listened, then each announced commit.
            for (bool announced = true;; announced = db.Notified()) {
                if (announced) {
                    auto events = PgEventLog::After(db, m_last);
                    if (!events.empty()) {
                        m_last = events.back().id;
                        m_listener(
                            std::make_shared<const std::vector<StreamEvent>>(std::move(events)));
                    }
                }
                if (!Wait(db.Socket(), -1)) return;
            }
        } catch (const std::exception&) {
            // The database went away: try again shortly.
        }
        if (!Wait(-1, kRetryMs)) return;
    }
}

}  // namespace quibra::pollserver
