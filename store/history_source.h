#pragma once
// Where the history page reads its rows from: the events file or the shared
// history on a PostgreSQL server. One page at a time, newest first, each
// page continuing below the key of the last row shown.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/event_db.h"
#include "store/history_row.h"
#include "store/store_settings.h"

namespace quell {

struct HistoryRequest {
  EventQuery query;                  // account, time range and limit; read newest first
  std::string node;                  // a shared history: only this gateway's rows (empty: all)
  std::optional<HistoryKey> before;  // rows older than this one; none: the newest
};

struct HistoryPage {
  bool ok = false;
  std::string error;  // why the rows could not be read
  std::vector<HistoryRow> rows;
};

class HistorySource {
 public:
  virtual ~HistorySource() = default;
  // True for a history several gateways share: rows carry their node.
  virtual bool Shared() const = 0;
  // Reads one page; done runs on the calling thread, at once or later from
  // its event loop. False (done never called) while an earlier page is
  // still being read.
  virtual bool Fetch(const HistoryRequest& request, std::function<void(HistoryPage)> done) = 0;
};

// The source the store settings name. Settings that cannot be used give a
// source whose every page fails with their problem.
std::unique_ptr<HistorySource> OpenHistorySource(const StoreSettings& settings);

}  // namespace quell
