#pragma once
// A clock the tests move by hand. Safe to read from worker threads.
#include <atomic>
#include <mutex>

#include "core/clock.h"

namespace quell::test {

class FakeClock final : public Clock {
 public:
  explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 12, 8), QTime(14, 3, 27)),
                     uint32_t tick = 1000)
      : now_(start), tick_(tick) {}

  uint32_t TickCount() const override { return tick_.load(); }
  QDateTime Now() const override {
    std::lock_guard g(lock_);
    return now_;
  }
  int StandardOffsetSeconds() const override { return offset_.load(); }

  // Moves both the tick count and the local time forward.
  void Advance(uint32_t ms) {
    tick_ += ms;
    std::lock_guard g(lock_);
    now_ = now_.addMSecs(ms);
  }
  void SetTick(uint32_t tick) { tick_ = tick; }
  void SetNow(const QDateTime& now) {
    std::lock_guard g(lock_);
    now_ = now;
  }
  void SetStandardOffset(int seconds) { offset_ = seconds; }

 private:
  mutable std::mutex lock_;
  QDateTime now_;
  std::atomic<uint32_t> tick_;
  std::atomic<int> offset_{0};
};

}  // namespace quell::test
