#include "SqliteTransaction.h"

#include "SqliteConnection.h"

namespace quibra::pollserver {

SqliteTransaction::SqliteTransaction(SqliteConnection& connection, Kind kind) : m_connection(connection) {
    m_connection.Execute(kind == Kind::Write ? "BEGIN IMMEDIATE" : "BEGIN");
}

SqliteTransaction::~SqliteTransaction() {
    if (!m_open) return;
    try {
        m_connection.Execute("ROLLBACK");
    } catch (...) {
        // The connection rolls back by itself when it is closed; nothing to add.
    }
}

void SqliteTransaction::Commit() {
    m_connection.Execute("COMMIT");
    m_open = false;
}

}  // namespace quibra::pollserver
