#pragma once
// The gateway's source of time: a wrapping 32-bit millisecond tick count and
// the local date-time. Tests substitute a clock they advance by hand.
#include <QDateTime>
#include <cstdint>

#include "core/local_time_cache.h"

namespace quell {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start, wrapping at 2^32; compare ticks
  // only through unsigned differences (see TicksSince).
  virtual uint32_t TickCount() const = 0;
  virtual QDateTime Now() const = 0;
  // Standard (non-daylight) offset of the local time zone from UTC, seconds.
  virtual int StandardOffsetSeconds() const = 0;
};

// now - then as an unsigned 32-bit difference, correct across the wrap.
inline uint32_t TicksSince(uint32_t now, uint32_t then) {
  return now - then;
}

class SystemClock final : public Clock {
 public:
  uint32_t TickCount() const override;
  // The local time with the zone offset of the current second.
  QDateTime Now() const override;
  int StandardOffsetSeconds() const override;

 private:
  mutable LocalTimeCache local_;
};

// "hh:mm:ss", the long time format used in diagnostic texts.
std::string LongTime(const QDateTime& at);

}  // namespace quell
