#pragma once
// Which stored event each console-queue entry belongs to, so the console
// output can record the entry's delivery. Entries from producers that keep
// no row are simply not found. Any thread.
#include <deque>
#include <mutex>
#include <string>
#include <utility>

#include "core/row_key.h"

namespace quell {

class DeliveryLedger {
 public:
  void Track(const std::string& entry, const RowKey& key) {
    if (!key) return;
    std::lock_guard g(lock_);
    entries_.emplace_back(entry, key);
  }
  // The row of the earliest tracked entry with this text (none: not
  // tracked); the queue is first in, first out, so equal texts leave in
  // the same order.
  RowKey Take(const std::string& entry) {
    std::lock_guard g(lock_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->first != entry) continue;
      const RowKey key = it->second;
      entries_.erase(it);
      return key;
    }
    return {};
  }

 private:
  std::mutex lock_;
  std::deque<std::pair<std::string, RowKey>> entries_;
};

}  // namespace quell
