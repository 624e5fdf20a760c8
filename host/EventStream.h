#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "StreamEvent.h"

// The host's subscription to its module's event stream on the PollServer
// ("GET /quibra/v1/events?modulename=M"), read on a thread of its own with
// libcurl: the same TLS checks (CA file, public-key pin in libcurl's format)
// and the same proxy variables as the plug-in's own requests. After a drop it
// reconnects with a growing, jittered pause (capped) and Last-Event-ID, so no
// event committed meanwhile is missed; an event whose id is not above the last
// one is not delivered twice. Events, state changes and log lines arrive on
// the thread that owns this object (the UI thread), in order.
class EventStream : public QObject {
    Q_OBJECT
public:
    struct Settings {
        std::string serverUrl;  // http://host:port or https://host:port
        std::string module;
        // Without a token, a presenter names itself so that the server sends
        // it the ballots on its polls; with a token the token decides.
        std::string userId;
        std::string token;
        std::string caFile;  // verify the chain and the host name against these CAs
        std::string pin;     // "sha256//BASE64": the server's public key
        int firstPauseMs = 500;
        int maxPauseMs = 30000;
        // The server says something at least every 15 s; silence this long is a drop.
        int silenceSeconds = 45;
    };
    enum class State { Stopped, Connecting, Connected, Reconnecting };

    explicit EventStream(Settings settings, QObject* parent = nullptr);
    // Stops the thread and waits for it.
    ~EventStream() override;

    void Start();
    void Stop();

    State CurrentState() const { return m_state; }
    // "connecting", "connected", "reconnecting since 12:03:04 (why)".
    QString StateText() const;
    // The newest event id delivered (0: none yet).
    std::int64_t LastEventId() const { return m_lastId.load(); }
    // The request's URL: the module, and the user id when there is no token.
    static std::string EventsUrl(const Settings& settings);

signals:
    void Received(const StreamEvent& event);
    void StateChanged(const QString& text);
    void Log(const QString& line);

private:
    struct Transfer;
    void Run();
    // One connection, until it ends or Stop; true when the stream was open.
    bool Connect(std::string& why);
    // Stream thread: runs `work` on the UI thread, in posting order.
    void Post(std::function<void()> work);
    void PostState(State state, const QString& why);
    void PostLog(const QString& line);
    // Stream thread: hands a well-formed event to the UI thread once.
    void Deliver(StreamEvent event);

    const Settings m_settings;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;  // with m_wake: the pause between connections
    std::condition_variable m_wake;
    void* m_multi = nullptr;  // CURLM*, woken by Stop
    std::atomic<std::int64_t> m_lastId{0};
    std::int64_t m_resyncId = 0;  // stream thread: the id of a resync just delivered
    // UI thread only.
    State m_state = State::Stopped;
    QDateTime m_since;
    QString m_why;
};
