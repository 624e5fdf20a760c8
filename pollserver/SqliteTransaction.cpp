#include "SqliteTransaction.h"

#include "SqliteConnection.h"

namespace quibra::pollserver {

SqliteTransaction::SqliteTransaction(SqliteConnection& connection, Kind kind)
    : m_connection(connection) {
    m_connection.Statement(kind == Kind::Write ? "BEGIN IMMEDIATE" : "BEGIN").Run();
}

SqliteTransaction::~SqliteTransaction() {
    if (!m_open) return;
    try {
        m_connection.Statement("ROLLBACK").Run();
    } catch (...) {
        // The connection rolls back by itself when it is closed; nothing to add.
    }
}

void SqliteTransaction::Commit() {
    m_connection.Statement("COMMIT").Run();
    m_open = false;
}

}  // namespace quibra::pollserver
