#include "SqliteCheckpointer.h"

#include <chrono>

#include "SqliteConnection.h"
#include "SqliteError.h"

namespace quibra::pollserver {

SqliteCheckpointer::SqliteCheckpointer(const std::filesystem::path& file)
    : m_db(std::make_unique<SqliteConnection>(file)), m_thread([this] { Loop(); }) {}

SqliteCheckpointer::~SqliteCheckpointer() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_stop.notify_one();
    m_thread.join();
}

void SqliteCheckpointer::Loop() {
    std::unique_lock lock(m_mutex);
    while (!m_stop.wait_for(lock, std::chrono::seconds(1), [&] { return m_stopping; })) {
        lock.unlock();
        try {
            // Passive: copies what no reader still needs, never blocks the writer.
            m_db->Execute("PRAGMA wal_checkpoint(PASSIVE)");
        } catch (const SqliteError&) {
            // Busy or failed this time; the log is kept and copied on a later round.
        }
        lock.lock();
    }
}

}  // namespace quibra::pollserver
