#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "SqliteStatement.h"

struct sqlite3;

namespace quibra::pollserver {

// One open SQLite connection with its prepared statements, each prepared once
// and reused. Not thread-safe: one user at a time (the store hands connections out).
class SqliteConnection {
public:
    // Opens (creating if needed) the file in WAL mode; throws SqliteError.
    explicit SqliteConnection(const std::filesystem::path& file);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    // The cached statement for this SQL text, reset and ready to bind.
    SqliteStatement& Statement(std::string_view sql);
    // Runs fixed SQL without parameters (schema, pragmas, transaction control).
    void Execute(const char* sql);
    // Whether a transaction is open (SQLite ends one by itself on some errors).
    bool InTransaction() const;

private:
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    sqlite3* m_db = nullptr;
    std::unordered_map<std::string, std::unique_ptr<SqliteStatement>, TextHash, std::equal_to<>>
        m_statements;
};

}  // namespace quibra::pollserver
