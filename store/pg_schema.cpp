#include "store/pg_schema.h"

#include <algorithm>
#include <vector>

namespace quell::pg {
namespace {

// Version 1. Every string from the gateway is bytea: line names in
// Windows-1251 and raw frames with any byte pass unchanged whatever the
// database's encoding. Acceptance order within a node is (run_started_ms,
// run, seq); across nodes (received_ms, node, run, seq).
const char* kVersion1 =
    "CREATE TABLE quell_node("
    " node text PRIMARY KEY,"
    " seen timestamptz NOT NULL DEFAULT now(),"
    " config_digest bytea NOT NULL DEFAULT ''::bytea);"
    "CREATE TABLE quell_event("
    " node text NOT NULL,"
    " run bigint NOT NULL,"
    " seq bigint NOT NULL,"
    " run_started_ms bigint NOT NULL,"
    " received_ms bigint NOT NULL,"
    " road bytea NOT NULL,"
    " line bytea NOT NULL,"
    " peer bytea NOT NULL,"
    " account bytea NOT NULL,"
    " raw bytea NOT NULL,"
    " console_text bytea NOT NULL,"
    " console_state smallint NOT NULL,"
    " notice_text bytea NOT NULL,"
    " notice_state smallint NOT NULL,"
    " sia bytea NOT NULL,"
    " copy_key bytea NOT NULL,"
    " PRIMARY KEY (node, run, seq));"
    "CREATE INDEX quell_event_time ON quell_event(received_ms, node, run, seq);"
    "CREATE INDEX quell_event_account ON quell_event(account, received_ms);"
    "CREATE INDEX quell_event_pending ON quell_event(node, run_started_ms, run, seq)"
    " WHERE console_state = 1 OR notice_state = 1;";

// Version 2. No index holds a fate column, so a fate's UPDATE is a
// heap-only one (no index entry), given room on the row's page, which the
// fill factor of one half leaves for each row's one update. Instead of the
// partial index each node's row holds its pending floors: for each run with
// rows pending, a sequence number at or below its first pending row. Rows
// are found pending by key ranges from there.
const char* kVersion2 =
    "ALTER TABLE quell_node ADD COLUMN pending_runs bigint[] NOT NULL DEFAULT '{}',"
    " ADD COLUMN pending_seqs bigint[] NOT NULL DEFAULT '{}';";

const char* kVersion2End =
    "DROP INDEX quell_event_pending;"
    "ALTER TABLE quell_event SET (fillfactor = 50);";

}  // namespace

const char* const kFloorsFromRows =
    "INSERT INTO quell_node(node, pending_runs, pending_seqs)"
    " SELECT node, array_agg(run ORDER BY run), array_agg(s ORDER BY run)"
    " FROM (SELECT node, run, min(seq) AS s FROM quell_event"
    " WHERE console_state = 1 OR notice_state = 1 GROUP BY node, run) AS g GROUP BY node"
    " ON CONFLICT (node) DO UPDATE SET pending_runs = excluded.pending_runs,"
    " pending_seqs = excluded.pending_seqs;";

const char* const kFloors =
    "SELECT n.node, f.run, f.seq FROM quell_node n"
    " CROSS JOIN LATERAL unnest(n.pending_runs, n.pending_seqs) AS f(run, seq)";

const char* const kPendingFrom =
    " FROM quell_event WHERE node = $1 AND run = $2 AND seq >= $3"
    " AND (console_state = 1 OR notice_state = 1) ORDER BY seq";

const char* const kEventColumns =
    "node, run, seq, received_ms, road, line, peer, account, raw, console_text,"
    " console_state, notice_text, notice_state, sia, copy_key";

namespace {

// Step i brings version i to version i + 1.
std::vector<std::string> Steps() {
  return {kVersion1, std::string(kVersion2) + kFloorsFromRows + kVersion2End};
}

}  // namespace

bool EnsureSchema(Conn& conn, int knownVersion, int timeoutMs, std::string* error) {
  // One statement, one transaction: the lock is held until its end, so two
  // gateways starting together make the tables once.
  // Each step up to the version this build knows runs in turn, in the
  // same transaction.
  std::string sql = "DO $quell$ DECLARE v int; BEGIN PERFORM pg_advisory_xact_lock(" +
                    std::to_string(kLockClass) +
                    ", 0);"
                    " CREATE TABLE IF NOT EXISTS quell_schema(version int NOT NULL);"
                    " SELECT coalesce(max(version), 0) INTO v FROM quell_schema;";
  const std::vector<std::string> steps = Steps();
  for (int i = 0; i < std::min<int>(knownVersion, steps.size()); ++i) {
    const std::string next = std::to_string(i + 1);
    sql += " IF v < " + next + " THEN " + steps[size_t(i)] + " INSERT INTO quell_schema VALUES (" +
           next + "); v := " + next + "; END IF;";
  }
  sql += " END $quell$";
  Result r;
  if (conn.Run(sql, {}, timeoutMs, &r, error) != Conn::Outcome::Ok) return false;
  if (conn.Run("SELECT max(version) FROM quell_schema", {}, timeoutMs, &r, error) !=
      Conn::Outcome::Ok)
    return false;
  const int version = PQntuples(r.get()) == 1 ? GetInt4(r.get(), 0, 0) : 0;
  if (version > knownVersion) {
    if (error)
      *error = "the database holds schema version " + std::to_string(version) +
               ", newer than this gateway knows (" + std::to_string(knownVersion) + ")";
    return false;
  }
  return true;
}

}  // namespace quell::pg
