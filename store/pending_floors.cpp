#include "store/pending_floors.h"

#include <algorithm>
#include <limits>

namespace quell {

void PendingFloors::Add(const EventRow& row) {
  const unsigned waits = (row.console == EventFate::Pending ? kConsole : 0) |
                         (row.notice == EventFate::Pending ? kNotice : 0);
  if (waits) rows_.emplace(std::make_pair(row.run, row.seq), waits);
}

void PendingFloors::Apply(int64_t run, int64_t seq, EventTarget target, EventFate fate) {
  const auto it = rows_.find({run, seq});
  if (it == rows_.end()) return;
  const unsigned bit = target == EventTarget::Console ? kConsole : kNotice;
  it->second = fate == EventFate::Pending ? it->second | bit : it->second & ~bit;
  if (!it->second) rows_.erase(it);
}

std::vector<std::pair<int64_t, int64_t>> PendingFloors::Floors(int64_t run, int64_t from) const {
  std::vector<std::pair<int64_t, int64_t>> floors;
  bool current = false;
  // The first key of each run is its lowest; then on past the run's keys.
  for (auto it = rows_.begin(); it != rows_.end();
       it = rows_.upper_bound({it->first.first, std::numeric_limits<int64_t>::max()})) {
    const auto [r, seq] = it->first;
    if (r > run && !current && from != std::numeric_limits<int64_t>::max()) {
      floors.emplace_back(run, from);
      current = true;
    }
    if (r == run) {
      floors.emplace_back(r, std::min(seq, from));
      current = true;
    } else {
      floors.emplace_back(r, seq);
    }
  }
  if (!current && from != std::numeric_limits<int64_t>::max()) floors.emplace_back(run, from);
  return floors;
}

}  // namespace quell
