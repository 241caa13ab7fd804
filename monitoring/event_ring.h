#pragma once
// The last accepted events for the status page: filled from the store at
// start-up and then from each committed row, on the store's thread; read by
// the server's threads. Texts are kept as received (Windows-1251).
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "core/event_log.h"

namespace quell {

struct RingEvent {
  int64_t seq = 0;
  int64_t receivedMs = 0;
  std::string road;
  std::string line;
  std::string account;
  std::string text;  // the console entry, else the notice, else the raw bytes
};

class EventRing {
 public:
  static constexpr size_t kCapacity = 50;

  // Rows in acceptance order; the ring keeps the newest kCapacity.
  void Add(const std::vector<EventRow>& rows);
  // Newest first.
  std::vector<RingEvent> Newest() const;

 private:
  mutable std::mutex lock_;
  std::deque<RingEvent> events_;  // oldest first
};

}  // namespace quell
