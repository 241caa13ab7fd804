#pragma once
// The shared history on a PostgreSQL server as the history readers list it:
// in the shared order (received time, node, run, seq), fetched in pages
// that continue after the last key read, never by seq alone.
#include <functional>
#include <string>

#include "core/event_log.h"
#include "store/event_db.h"

namespace quell {

struct PgHistoryRow {
  std::string node;
  int64_t run = 0;
  EventRow row;
};

class PgHistory {
 public:
  static constexpr int kPageRows = 1000;
  static constexpr int kRoundTripMs = 10'000;

  // Calls each matching row in order (node empty: every node's); stops
  // when the callback returns false. False with error set on failure.
  static bool Read(const std::string& conninfo, const EventQuery& query, const std::string& node,
                   const std::function<bool(const PgHistoryRow&)>& each, std::string* error);
};

}  // namespace quell
