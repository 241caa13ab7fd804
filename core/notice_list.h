#pragma once
// NoticeQueue: the notices waiting for the first Wardex client, appended to
// by line workers and main-thread handlers, drained by the main thread.
// Relayed texts come from other software at any rate, so at most
// kMaxRelayTexts of them wait; one more is dropped on arrival and counted.
// The gateway's own notices are never dropped.
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/notice.h"

namespace quell {

class NoticeList {
 public:
  static constexpr size_t kMaxRelayTexts = 1000;

  // False when the text was dropped (a relayed text beyond the bound).
  bool Append(NoticeOrigin origin, std::string text);
  // Puts a notice taken off the queue back in front; never dropped.
  void PutHead(Notice notice);
  std::optional<Notice> TakeFirst();
  size_t Size() const;
  bool Empty() const { return Size() == 0; }
  void Clear();
  std::vector<std::string> Snapshot() const;  // the texts, in order
  std::vector<Notice> Entries() const;
  // Relayed texts dropped since the last call.
  size_t TakeDroppedCount();

 private:
  mutable std::mutex lock_;
  std::deque<Notice> items_;
  size_t relays_ = 0;  // relayed texts among items_
  size_t dropped_ = 0;
};

}  // namespace quell
