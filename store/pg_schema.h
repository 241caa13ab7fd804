#pragma once
// The tables of the shared history on PostgreSQL, made or brought to the
// version this build knows in one transaction under an advisory lock.
#include <string>

#include "store/pg_conn.h"

namespace quell::pg {

// The advisory lock class of the store's locks (schema changes, node names).
constexpr int kLockClass = 0x5155454c;

// The newest schema version this build makes.
constexpr int kSchemaVersion = 2;

// The columns of an event row as the history reads them.
extern const char* const kEventColumns;

// Sets the pending floors of every node with rows pending from its rows
// (one statement); a node's row is made if it has none.
extern const char* const kFloorsFromRows;

// The floors of the nodes, "node, run, seq" for each run with rows pending;
// a caller may add " WHERE ..." on n.node.
extern const char* const kFloors;

// FROM, WHERE and ORDER BY of the rows pending of one run from its floor,
// by the primary key: $1 node, $2 run, $3 floor.
extern const char* const kPendingFrom;

// Makes or upgrades the schema; false (error set) when it cannot, or when
// the server holds a newer version than this build knows.
bool EnsureSchema(Conn& conn, int knownVersion, int timeoutMs, std::string* error);

}  // namespace quell::pg
