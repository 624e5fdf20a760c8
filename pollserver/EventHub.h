#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "HttpConnection.h"
#include "StreamEvent.h"

namespace quibra::pollserver {

class EventLoop;

// The subscribers of the event stream, kept per event loop and module. A
// commit's events are handed over with one posted task per loop that has
// subscribers, so the committing thread never waits on a subscriber; each
// loop writes the frames to its own connections, which drop a client that
// falls too far behind (HttpConnection::kMaxUnsentStream). A subscriber gets
// the events after its position only, so an event that it was also sent from
// the log is never sent twice.
class EventHub {
public:
    class Subscriber;

    EventHub();
    ~EventHub();
    EventHub(const EventHub&) = delete;
    EventHub& operator=(const EventHub&) = delete;

    // Before `loop` runs, and after it ran (its thread joined).
    void Attach(EventLoop& loop);
    void Detach(EventLoop& loop);
    // Any thread, in commit order.
    void Publish(StreamEvents events);

    // Event thread of the connection's loop. From now on the subscriber is
    // given the events of `module` committed later (ballots only when `user`
    // is the poll's author); it sends them once its stream started
    // (Subscriber::Started), after its position. Null when the loop is not attached.
    Subscriber* Subscribe(HttpConnection& connection, std::string module, std::string user);

private:
    struct Shard;
    static void Deliver(Shard& shard, const std::vector<StreamEvent>& events);
    void Remove(Subscriber& subscriber);

    std::mutex m_mutex;
    std::vector<std::unique_ptr<Shard>> m_shards;  // guarded by m_mutex
};

// One stream's subscription; owned by the hub, ended with its connection.
class EventHub::Subscriber final : public HttpConnection::StreamWatcher {
public:
    Subscriber(EventHub& hub, Shard& shard, HttpConnection& connection, std::string module,
               std::string user);
    // The stream runs (HttpConnection::StartStream with this watcher) and
    // has been sent everything up to `position`.
    void Started(std::int64_t position);
    // The stream never started (its start failed): the subscription goes.
    void Cancel();
    void StreamEnded() override;

    const std::string& Module() const { return m_module; }
    const std::string& User() const { return m_user; }

private:
    friend class EventHub;
    void Deliver(const StreamEvent& event, const std::string& frame);

    EventHub& m_hub;
    Shard& m_shard;
    HttpConnection* m_connection;  // null once ended
    const std::string m_module;
    const std::string m_user;
    std::int64_t m_position = 0;
    bool m_started = false;
};

}  // namespace quibra::pollserver
