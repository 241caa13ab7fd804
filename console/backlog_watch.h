#pragma once
// Journal lines about events waiting for the console: one when events start
// waiting, one a minute while they wait (how many, and how long the oldest
// has waited), and one when none waits any more. The console output queue
// is first in, first out, so the age of its oldest entry is followed from
// the sizes seen at each tick: growth is recorded as a run of entries with
// the tick it was seen at, and shrinking takes entries from the oldest run.
// Main thread, from the console output tick.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "core/clock.h"
#include "core/journal.h"

namespace quell {

class BacklogWatch {
 public:
  static constexpr uint32_t kReportMs = 60'000;
  // Runs remembered at most; beyond it the two newest merge (the oldest
  // entry's age stays exact).
  static constexpr size_t kMaxRuns = 4096;

  BacklogWatch(const Clock& clock, Journal& journal) : clock_(clock), journal_(journal) {}

  // waiting: entries in the console output queue now; answering: whether
  // the console acknowledges (events then go out one a second).
  void Tick(size_t waiting, bool answering);

  // "45 s", "12 min", "3 h 5 min".
  static std::string Age(uint32_t ms);

 private:
  struct Run {
    uint32_t since;
    size_t count;
  };
  std::string Line(size_t waiting, bool answering, bool withAge) const;

  const Clock& clock_;
  Journal& journal_;
  std::deque<Run> runs_;
  size_t known_ = 0;  // the size seen at the last tick
  uint32_t lastReport_ = 0;
};

}  // namespace quell
