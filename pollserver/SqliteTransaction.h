#pragma once

namespace quibra::pollserver {

class SqliteConnection;

// One transaction on a connection: begun here, rolled back on destruction
// unless Commit succeeded. Write transactions take the write lock at once
// (BEGIN IMMEDIATE), so a job never fails half-way on a lock upgrade.
class SqliteTransaction {
public:
    enum class Kind { Read, Write };
    SqliteTransaction(SqliteConnection& connection, Kind kind);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;

    void Commit();

private:
    SqliteConnection& m_connection;
    bool m_open = true;
};

}  // namespace quibra::pollserver
