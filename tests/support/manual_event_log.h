#pragma once
// An event log whose commits the test completes by hand, in order.
#include <deque>
#include <vector>

#include "core/event_log.h"

namespace quell::test {

class ManualEventLog final : public EventLog {
 public:
  int64_t Add(EventRow row, Done done, bool) override {
    row.seq = int64_t(rows.size()) + 1;
    rows.push_back(row);
    waiting.push_back(std::move(done));
    return row.seq;
  }
  // A group is one commit: one completion for all its rows.
  int64_t AddGroup(std::vector<EventRow> group, Done done) override {
    const int64_t first = int64_t(rows.size()) + 1;
    for (EventRow& row : group) {
      row.seq = int64_t(rows.size()) + 1;
      rows.push_back(row);
    }
    waiting.push_back(std::move(done));
    return first;
  }
  int64_t AddAndWait(EventRow row, int, const std::atomic<bool>* cancel) override {
    if (failWaits || (cancel && *cancel)) return 0;
    row.seq = int64_t(rows.size()) + 1;
    rows.push_back(row);
    return row.seq;
  }
  bool failWaits = false;
  void SetFate(int64_t seq, EventTarget target, EventFate fate) override {
    fates.push_back({seq, target, fate});
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
