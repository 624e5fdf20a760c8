#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>

// A script of actions and waits run from the event loop, one step per timer
// tick. An action that opens a modal dialog or a menu (and so runs a nested
// event loop) does not stop the script: the next tick runs inside that loop,
// which is how the script answers the dialog it just opened.
class ActionQueue : public QObject {
    Q_OBJECT
public:
    explicit ActionQueue(QObject* parent = nullptr);

    // Runs `action` once; it may call Fail.
    void Do(const QString& what, std::function<void()> action);
    // Waits (checking every few milliseconds) until `done` holds; failing
    // after `limitMs` with "timed out: <what>".
    void WaitUntil(const QString& what, std::function<bool()> done, int limitMs = 30000);
    // Ends the script now: Finished(false, why); later actions never run.
    void Fail(const QString& why);
    void Start();
    bool Running() const { return m_running; }
    bool Empty() const { return m_queue.empty(); }

signals:
    void Finished(bool ok, const QString& failure);

private:
    struct Entry {
        QString what;
        std::function<void()> action;  // set for Do
        std::function<bool()> done;    // set for WaitUntil
        int limitMs = 0;
    };
    void Tick();

    std::deque<Entry> m_queue;
    QTimer m_timer;
    qint64 m_waitStarted = -1;
    bool m_running = false;
};
