#include "StoreProbe.h"

#include "PollStore.h"

namespace quibra::pollserver {

StoreProbe::StoreProbe(PollStore& store) : m_store(store), m_thread([this] { Loop(); }) {}

StoreProbe::~StoreProbe() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

bool StoreProbe::Answers(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    // A read still running answers for this check too; else a fresh one.
    if (m_answered == m_asked) {
        ++m_asked;
        m_wake.notify_one();
    }
    const auto wanted = m_asked;
    return m_answer.wait_for(lock, limit, [&] { return m_answered >= wanted; }) && m_lastOk;
}

void StoreProbe::Loop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || m_answered < m_asked; });
        if (m_stopping) return;
        lock.unlock();
        bool ok = false;
        try {
            ok = m_store.Ping();
        } catch (...) {
        }
        lock.lock();
        m_lastOk = ok;
        m_answered = m_asked;
        m_answer.notify_all();
    }
}

}  // namespace quibra::pollserver
