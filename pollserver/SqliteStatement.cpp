#include "SqliteStatement.h"

#include <sqlite3.h>

#include "SqliteError.h"

namespace quibra::pollserver {

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) : m_db(db) {
    const int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        throw SqliteError(rc, std::string("prepare failed: ") + sqlite3_errmsg(db));
    }
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(m_stmt);
}

SqliteStatement& SqliteStatement::Reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::int64_t value) {
    const int rc = sqlite3_bind_int64(m_stmt, index, value);
    if (rc != SQLITE_OK) throw SqliteError(rc, sqlite3_errmsg(m_db));
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view text) {
    // SQLITE_TRANSIENT: SQLite copies the bytes, so the caller's buffer may go.
    const int rc =
        sqlite3_bind_text64(m_stmt, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    if (rc != SQLITE_OK) throw SqliteError(rc, sqlite3_errmsg(m_db));
    return *this;
}

bool SqliteStatement::Step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    const std::string message = sqlite3_errmsg(m_db);
    sqlite3_reset(m_stmt);
    throw SqliteError(rc, message);
}

void SqliteStatement::Run() {
    while (Step()) {
    }
}

std::int64_t SqliteStatement::Int(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

std::string SqliteStatement::Text(int column) const {
    const auto* bytes = sqlite3_column_text(m_stmt, column);
    const int size = sqlite3_column_bytes(m_stmt, column);
    return bytes == nullptr ? std::string()
                            : std::string(reinterpret_cast<const char*>(bytes), size);
}

}  // namespace quibra::pollserver
