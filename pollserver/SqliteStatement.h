#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace quibra::pollserver {

// One prepared statement, owned and finalized here. Text is bound and read as
// UTF-8 bytes, unchanged. Not thread-safe: it belongs to its connection's user.
class SqliteStatement {
public:
    SqliteStatement(sqlite3* db,
                    std::string_view sql);  // throws SqliteError when it does not prepare
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Clears the bindings and rewinds; call before each use.
    SqliteStatement& Reset();
    // Parameters count from 1, as in SQLite.
    SqliteStatement& Bind(int index, std::int64_t value);
    SqliteStatement& Bind(int index, std::string_view text);

    // True while a row is available; throws SqliteError on failure.
    bool Step();
    // Runs a statement that returns no rows to completion.
    void Run();

    std::int64_t Int(int column) const;
    std::string Text(int column) const;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

}  // namespace quibra::pollserver
