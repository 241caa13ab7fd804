#include "store/row_intake.h"

#include <unistd.h>

namespace quell {

RowKey RowIntake::Queue(EventRow row, EventLog::Done done, bool keep) {
  int64_t seq;
  {
    std::lock_guard g(lock_);
    seq = Number(row);
    queue_.push_back(Item{std::move(row), std::move(done), keep, nullptr});
  }
  Wake();
  return KeyOf(seq);
}

RowKey RowIntake::QueueGroup(std::vector<EventRow> rows, EventLog::Done done) {
  int64_t first = 0;
  {
    // Queued under one hold of the lock: a commit takes the whole queue, so
    // the group is never split between two.
    std::lock_guard g(lock_);
    for (size_t i = 0; i < rows.size(); ++i) {
      const int64_t seq = Number(rows[i]);
      if (i == 0) first = seq;
      queue_.push_back(Item{std::move(rows[i]), i + 1 == rows.size() ? std::move(done) : nullptr,
                            false, nullptr});
    }
  }
  Wake();
  return first ? KeyOf(first) : RowKey{};
}

RowKey RowIntake::QueueAndWait(EventRow row, int timeoutMs, const std::atomic<bool>* cancel) {
  auto waiter = std::make_shared<Waiter>();
  int64_t seq;
  {
    std::lock_guard g(lock_);
    seq = Number(row);
    queue_.push_back(Item{std::move(row), nullptr, false, waiter});
  }
  // Never held for a batch: the caller waits here for the commit.
  WakeNow();
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock g(waiter->lock);
  while (waiter->state == 0) {
    if (cancel && cancel->load()) return {};
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return {};
    waiter->done.wait_for(g, std::min<std::chrono::steady_clock::duration>(
                                 end - now, std::chrono::milliseconds(kCancelPollMs)));
  }
  return waiter->state == 1 ? KeyOf(seq) : RowKey{};
}

void RowIntake::QueueFate(const RowKey& key, EventTarget target, EventFate fate) {
  if (!key) return;
  bool first;
  {
    std::lock_guard g(lock_);
    first = fates_.empty();
    if (first)
      fatesDue_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFateDelayMs);
    fates_.push_back(FateUpdate{key, target, fate});
  }
  // The store thread learns the deadline; later fates share it.
  if (first) Wake();
}

void RowIntake::Wake() {
  if (WakeBatch::Open()) {
    WakeBatch::Join(this);
    return;
  }
  WakeNow();
}

void RowIntake::WakeNow() {
  wake_.notify_one();
  if (intakeFd_ < 0) return;
  const uint64_t one = 1;
  if (::write(intakeFd_, &one, sizeof one) < 0) {
    // The counter is full: the thread is woken already.
  }
}

void RowIntake::TellWaiter(const Item& item, bool stored) {
  if (!item.waiter) return;
  std::lock_guard g(item.waiter->lock);
  item.waiter->state = stored ? 1 : 2;
  item.waiter->done.notify_all();
}

}  // namespace quell
