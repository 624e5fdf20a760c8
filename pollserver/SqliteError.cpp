#include "SqliteError.h"

#include <sqlite3.h>

namespace quibra::pollserver {

bool SqliteError::Busy() const {
    const int primary = m_code & 0xFF;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

}  // namespace quibra::pollserver
