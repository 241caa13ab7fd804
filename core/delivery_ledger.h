#pragma once
// Which stored event each console-queue entry belongs to, so the console
// output can record the entry's delivery. Entries from producers that keep
// no row are simply not found. Any thread.
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

namespace quell {

class DeliveryLedger {
 public:
  void Track(const std::string& entry, int64_t seq) {
    if (seq <= 0) return;
    std::lock_guard g(lock_);
    entries_.emplace_back(entry, seq);
  }
  // The row of the earliest tracked entry with this text (0: none); the
  // queue is first in, first out, so equal texts leave in the same order.
  int64_t Take(const std::string& entry) {
    std::lock_guard g(lock_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->first != entry) continue;
      const int64_t seq = it->second;
      entries_.erase(it);
      return seq;
    }
    return 0;
  }

 private:
  std::mutex lock_;
  std::deque<std::pair<std::string, int64_t>> entries_;
};

}  // namespace quell
