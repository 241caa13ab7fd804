#pragma once
// The shared history on a PostgreSQL server as the history readers list it:
// in the shared order (received time, node, run, seq), fetched in pages
// that continue after the last key read, never by seq alone.
#include <functional>
#include <optional>
#include <string>

#include "store/event_db.h"
#include "store/history_row.h"

namespace quell {

using PgHistoryRow = HistoryRow;

class PgHistory {
 public:
  static constexpr int kPageRows = 1000;
  static constexpr int kRoundTripMs = 10'000;

  // Calls each matching row in order (node empty: every node's), newest
  // first with query.newestFirst, at most query.limit of them (0: all);
  // stops when the callback returns false. With from, the rows after that
  // key in the order read. The connection and every round trip wait at
  // most timeoutMs. False with error set on failure.
  static bool Read(const std::string& conninfo, const EventQuery& query, const std::string& node,
                   const std::function<bool(const PgHistoryRow&)>& each, std::string* error,
                   const std::optional<HistoryKey>& from = std::nullopt,
                   int timeoutMs = kRoundTripMs);
};

}  // namespace quell
