#include "monitoring/event_ring.h"

#include <algorithm>

namespace quell {

void EventRing::Add(const std::vector<EventRow>& rows) {
  // Only the last kCapacity rows of a large group can stay.
  const size_t from = rows.size() > kCapacity ? rows.size() - kCapacity : 0;
  std::vector<RingEvent> added;
  added.reserve(rows.size() - from);
  for (size_t i = from; i < rows.size(); ++i) {
    const EventRow& r = rows[i];
    RingEvent e{r.seq, r.receivedMs, r.road, r.line, r.account, r.consoleText};
    if (e.text.empty()) e.text = r.noticeText;
    if (e.text.empty()) e.text = r.raw;
    added.push_back(std::move(e));
  }
  std::lock_guard g(lock_);
  for (RingEvent& e : added) events_.push_back(std::move(e));
  while (events_.size() > kCapacity) events_.pop_front();
}

std::vector<RingEvent> EventRing::Newest() const {
  std::lock_guard g(lock_);
  return std::vector<RingEvent>(events_.rbegin(), events_.rend());
}

}  // namespace quell
