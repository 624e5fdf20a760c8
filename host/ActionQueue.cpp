#include "ActionQueue.h"

#include <QDateTime>

namespace {
// How often a wait looks at its condition.
constexpr int kPollMs = 20;
}  // namespace

ActionQueue::ActionQueue(QObject* parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ActionQueue::Tick);
}

void ActionQueue::Do(const QString& what, std::function<void()> action) {
    m_queue.push_back({what, std::move(action), {}, 0});
    if (m_running && !m_timer.isActive()) m_timer.start(0);
}

void ActionQueue::WaitUntil(const QString& what, std::function<bool()> done, int limitMs) {
    m_queue.push_back({what, {}, std::move(done), limitMs});
    if (m_running && !m_timer.isActive()) m_timer.start(0);
}

void ActionQueue::Start() {
    m_running = true;
    m_timer.start(0);
}

void ActionQueue::Fail(const QString& why) {
    if (!m_running) return;
    m_running = false;
    m_queue.clear();
    m_timer.stop();
    emit Finished(false, why);
}

void ActionQueue::Tick() {
    if (!m_running) return;
    if (m_queue.empty()) {
        m_running = false;
        emit Finished(true, {});
        return;
    }
    Entry& entry = m_queue.front();
    if (entry.action) {
        std::function<void()> action = std::move(entry.action);
        m_queue.pop_front();
        // Scheduled before the action runs: it may not return until a dialog
        // it opens is answered by the actions that follow.
        m_timer.start(0);
        action();
        return;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (m_waitStarted < 0) m_waitStarted = now;
    if (entry.done()) {
        m_waitStarted = -1;
        m_queue.pop_front();
        m_timer.start(0);
        return;
    }
    if (now - m_waitStarted > entry.limitMs) {
        m_waitStarted = -1;
        Fail(QStringLiteral("timed out: ") + entry.what);
        return;
    }
    m_timer.start(kPollMs);
}
