#pragma once

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

namespace quibra::pollserver {

class SqliteConnection;

// Copies the write-ahead log back into the database file on a thread and
// connection of its own (passive checkpoints, about once a second), so the
// writer's commits never wait for that copy and its fsync.
class SqliteCheckpointer {
public:
    explicit SqliteCheckpointer(const std::filesystem::path& file);
    ~SqliteCheckpointer();
    SqliteCheckpointer(const SqliteCheckpointer&) = delete;
    SqliteCheckpointer& operator=(const SqliteCheckpointer&) = delete;

private:
    void Loop();

    std::unique_ptr<SqliteConnection> m_db;
    std::mutex m_mutex;
    std::condition_variable m_stop;
    bool m_stopping = false;
    std::thread m_thread;  // last: starts after everything above exists
};

}  // namespace quibra::pollserver
