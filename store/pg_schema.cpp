#include "store/pg_schema.h"

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

}  // namespace

const char* const kEventColumns =
    "node, run, seq, received_ms, road, line, peer, account, raw, console_text,"
    " console_state, notice_text, notice_state, sia, copy_key";

bool EnsureSchema(Conn& conn, int knownVersion, int timeoutMs, std::string* error) {
  // One statement, one transaction: the lock is held until its end, so two
  // gateways starting together make the tables once.
  const std::string sql = std::string(
                              "DO $quell$ DECLARE v int; BEGIN"
                              " PERFORM pg_advisory_xact_lock(") +
                          std::to_string(kLockClass) +
                          ", 0);"
                          " CREATE TABLE IF NOT EXISTS quell_schema(version int NOT NULL);"
                          " SELECT max(version) INTO v FROM quell_schema;"
                          " IF v IS NULL THEN " +
                          kVersion1 +
                          " INSERT INTO quell_schema VALUES (1);"
                          " END IF; END $quell$";
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
