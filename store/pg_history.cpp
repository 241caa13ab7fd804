#include "store/pg_history.h"

#include "store/pg_conn.h"
#include "store/pg_schema.h"

namespace quell {

bool PgHistory::Read(const std::string& conninfo, const EventQuery& q, const std::string& node,
                     const std::function<bool(const PgHistoryRow&)>& each, std::string* error,
                     const std::optional<HistoryKey>& from, int timeoutMs) {
  pg::Conn conn;
  if (!conn.Connect(conninfo, timeoutMs, error)) return false;
  // $1: no bound yet; $2..$5: the last key read (or the one to start
  // after); the filters follow.
  const bool down = q.newestFirst;
  std::string sql = std::string("SELECT ") + pg::kEventColumns +
                    " FROM quell_event WHERE ($1::bool OR (received_ms, node, run, seq) " +
                    (down ? "<" : ">") + " ($2::int8, $3::text, $4::int8, $5::int8))";
  std::vector<pg::Param> params(5);
  int n = 5;
  const auto add = [&](const char* cond, pg::Param p) {
    params.push_back(std::move(p));
    sql += std::string(" AND ") + cond + " $" + std::to_string(++n);
  };
  if (!q.account.empty()) add("account =", {pg::kBytea, q.account});
  if (q.sinceMs) add("received_ms >=", {pg::kInt8, pg::Int8(q.sinceMs)});
  if (q.untilMs) add("received_ms <=", {pg::kInt8, pg::Int8(q.untilMs)});
  if (!node.empty()) add("node =", {pg::kText, node});
  const int pageRows = q.limit > 0 && q.limit < kPageRows ? q.limit : kPageRows;
  sql += down ? " ORDER BY received_ms DESC, node DESC, run DESC, seq DESC"
              : " ORDER BY received_ms, node, run, seq";
  sql += " LIMIT " + std::to_string(pageRows);
  bool bounded = from.has_value();
  HistoryKey last = from.value_or(HistoryKey{});
  int64_t left = q.limit > 0 ? q.limit : -1;
  for (;;) {
    params[0] = {16 /* bool */, std::string(1, bounded ? '\0' : '\1')};
    params[1] = {pg::kInt8, pg::Int8(last.receivedMs)};
    params[2] = {pg::kText, last.node};
    params[3] = {pg::kInt8, pg::Int8(last.run)};
    params[4] = {pg::kInt8, pg::Int8(last.seq)};
    pg::Result r;
    if (conn.Run(sql, params, timeoutMs, &r, error) != pg::Conn::Outcome::Ok) return false;
    const int rows = PQntuples(r.get());
    for (int i = 0; i < rows; ++i) {
      PgHistoryRow h;
      h.node = pg::GetBytes(r.get(), i, 0);
      h.run = pg::GetInt8(r.get(), i, 1);
      EventRow& e = h.row;
      e.seq = pg::GetInt8(r.get(), i, 2);
      e.receivedMs = pg::GetInt8(r.get(), i, 3);
      e.road = pg::GetBytes(r.get(), i, 4);
      e.line = pg::GetBytes(r.get(), i, 5);
      e.peer = pg::GetBytes(r.get(), i, 6);
      e.account = pg::GetBytes(r.get(), i, 7);
      e.raw = pg::GetBytes(r.get(), i, 8);
      e.consoleText = pg::GetBytes(r.get(), i, 9);
      e.console = EventFate(pg::GetInt2(r.get(), i, 10));
      e.noticeText = pg::GetBytes(r.get(), i, 11);
      e.notice = EventFate(pg::GetInt2(r.get(), i, 12));
      e.sia = pg::GetBytes(r.get(), i, 13);
      e.copyKey = pg::GetBytes(r.get(), i, 14);
      if (!each(h) || (left > 0 && --left == 0)) return true;
      last = KeyOf(h);
    }
    if (rows < pageRows) return true;
    bounded = true;
  }
}

}  // namespace quell
