#include "SqliteConnection.h"

#include <sqlite3.h>

#include "SqliteError.h"

namespace quibra::pollserver {

SqliteConnection::SqliteConnection(const std::filesystem::path& file) {
    const int rc =
        sqlite3_open_v2(file.c_str(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        throw SqliteError(rc, "cannot open " + file.string() + ": " + message);
    }
    sqlite3_extended_result_codes(m_db, 1);
    // Writers are serialised by the store; the time-out only covers outside
    // tools (a backup, the sqlite3 shell) holding the file for a moment.
    sqlite3_busy_timeout(m_db, 5000);
    try {
        Execute("PRAGMA journal_mode=WAL");
        // In WAL mode NORMAL keeps every committed transaction across a crash of
        // the process (kill -9); only a power loss may drop the newest commits.
        Execute("PRAGMA synchronous=NORMAL");
        Execute("PRAGMA foreign_keys=ON");
    } catch (...) {
        sqlite3_close(m_db);
        throw;
    }
}

SqliteConnection::~SqliteConnection() {
    m_statements.clear();  // statements must be finalized before the close
    sqlite3_close(m_db);
}

SqliteStatement& SqliteConnection::Statement(std::string_view sql) {
    auto found = m_statements.find(sql);
    if (found == m_statements.end())
        found = m_statements.emplace(std::string(sql), std::make_unique<SqliteStatement>(m_db, sql))
                    .first;
    return found->second->Reset();
}

bool SqliteConnection::InTransaction() const {
    return sqlite3_get_autocommit(m_db) == 0;
}

void SqliteConnection::Execute(const char* sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        const std::string message = error ? error : sqlite3_errstr(rc);
        sqlite3_free(error);
        throw SqliteError(rc, message);
    }
}

}  // namespace quibra::pollserver
