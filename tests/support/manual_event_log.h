#pragma once
// An event log whose commits the test completes by hand, in order.
#include <deque>
#include <vector>

#include "core/event_log.h"

namespace quell::test {

class ManualEventLog final : public EventLog {
 public:
  RowKey Add(EventRow row, Done done, bool) override {
    row.seq = int64_t(rows.size()) + 1;
    rows.push_back(row);
    waiting.push_back(std::move(done));
    return row.Key();
  }
  // A group is one commit: one completion for all its rows.
  RowKey AddGroup(std::vector<EventRow> group, Done done) override {
    const RowKey first{{}, 0, int64_t(rows.size()) + 1};
    for (EventRow& row : group) {
      row.seq = int64_t(rows.size()) + 1;
      rows.push_back(row);
    }
    waiting.push_back(std::move(done));
    return first;
  }
  RowKey AddAndWait(EventRow row, int, const std::atomic<bool>* cancel) override {
    if (failWaits || (cancel && *cancel)) return {};
    row.seq = int64_t(rows.size()) + 1;
    rows.push_back(row);
    return row.Key();
  }
  bool failWaits = false;
  // Rows are keyed by seq alone, as in a gateway's own file.
  void SetFate(const RowKey& key, EventTarget target, EventFate fate) override {
    fates.push_back({key.seq, target, fate});
  }
  bool Writable() const override { return true; }

  // Completes the oldest n waiting rows.
  void Complete(bool stored, size_t n = 1) {
    for (; n > 0 && !waiting.empty(); --n) {
      Done done = std::move(waiting.front());
      waiting.pop_front();
      if (done) done(stored);
    }
  }

  struct Fate {
    int64_t seq;
    EventTarget target;
    EventFate fate;
    bool operator==(const Fate&) const = default;
  };
  std::vector<EventRow> rows;
  std::deque<Done> waiting;
  std::vector<Fate> fates;
};

}  // namespace quell::test
