#pragma once
// Rows of a shared history written straight into a test database (with the
// store's schema), each with the node, run and seq the test chooses, so a
// test can set the shared order's ties exactly. Strings go as binary bytea.
#include <string>
#include <vector>

#include "store/history_row.h"
#include "store/pg_conn.h"
#include "store/pg_schema.h"

namespace quell::test {

inline bool InsertHistoryRows(const std::string& conninfo, const std::vector<HistoryRow>& rows,
                              std::string* error) {
  pg::Conn conn;
  if (!conn.Connect(conninfo, 10'000, error) ||
      !pg::EnsureSchema(conn, pg::kSchemaVersion, 10'000, error))
    return false;
  const std::string sql =
      "INSERT INTO quell_event(node, run, run_started_ms, seq, received_ms, road, line, peer,"
      " account, raw, console_text, console_state, notice_text, notice_state, sia, copy_key)"
      " VALUES ($1, $2, 0, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15)";
  for (const HistoryRow& h : rows) {
    const EventRow& r = h.row;
    const std::vector<pg::Param> params{{pg::kText, h.node},
                                        {pg::kInt8, pg::Int8(h.run)},
                                        {pg::kInt8, pg::Int8(r.seq)},
                                        {pg::kInt8, pg::Int8(r.receivedMs)},
                                        {pg::kBytea, r.road},
                                        {pg::kBytea, r.line},
                                        {pg::kBytea, r.peer},
                                        {pg::kBytea, r.account},
                                        {pg::kBytea, r.raw},
                                        {pg::kBytea, r.consoleText},
                                        {pg::kInt2, pg::Int2(int(r.console))},
                                        {pg::kBytea, r.noticeText},
                                        {pg::kInt2, pg::Int2(int(r.notice))},
                                        {pg::kBytea, r.sia},
                                        {pg::kBytea, r.copyKey}};
    if (conn.Run(sql, params, 10'000, nullptr, error) != pg::Conn::Outcome::Ok) return false;
  }
  // The nodes' floors, as their stores keep them.
  return conn.Run(pg::kFloorsFromRows, {}, 10'000, nullptr, error) == pg::Conn::Outcome::Ok;
}

}  // namespace quell::test
