#pragma once
// The tables of the shared history on PostgreSQL, made or brought to the
// version this build knows in one transaction under an advisory lock.
#include <string>

#include "store/pg_conn.h"

namespace quell::pg {

// The advisory lock class of the store's locks (schema changes, node names).
constexpr int kLockClass = 0x5155454c;

// The columns of an event row as the history reads them.
extern const char* const kEventColumns;

// Makes or upgrades the schema; false (error set) when it cannot, or when
// the server holds a newer version than this build knows.
bool EnsureSchema(Conn& conn, int knownVersion, int timeoutMs, std::string* error);

}  // namespace quell::pg
