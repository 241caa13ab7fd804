#pragma once
// This node's rows known pending on the server, by (run, seq), and the
// floors the server keeps for finding them again: for each run with rows
// pending, its first pending sequence number. A floor may lie below the
// truth (a fate committed by another node), never above it.
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "core/event_log.h"

namespace quell {

class PendingFloors {
 public:
  // A row of this node now committed; kept while something waits.
  void Add(const EventRow& row);
  // A fate of this node's row now committed.
  void Apply(int64_t run, int64_t seq, EventTarget target, EventFate fate);

  // (run, floor) for every run with rows pending, ascending by run; the
  // run being written is there at most at `from`, the first row of the
  // commit that writes these floors (INT64_MAX: a commit without rows).
  std::vector<std::pair<int64_t, int64_t>> Floors(int64_t run, int64_t from) const;

  size_t Size() const { return rows_.size(); }

 private:
  static constexpr unsigned kConsole = 1, kNotice = 2;
  std::map<std::pair<int64_t, int64_t>, unsigned> rows_;  // (run, seq) -> what waits
};

}  // namespace quell
