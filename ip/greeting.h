#pragma once
// The 24 bytes an IP module receives on connecting: all zero, or on the
// timed listeners 20 zero bytes followed by the time as a 32-bit
// little-endian count of seconds since 1 January 1900, shifted to UTC.
#include <QByteArray>
#include <QDateTime>
#include <cstdint>

#include "core/clock.h"

namespace quell {

inline constexpr int kGreetingSize = 24;

// Whole hours of the standard UTC offset, counted only for +1..+13 hours;
// any other offset counts as 0.
int GreetingHours(int standardOffsetSeconds);

// Local time in seconds since 1900-01-01 00:00 minus the whole-hour offset,
// wrapping modulo 2^32.
uint32_t GreetingTime(const QDateTime& local, int standardOffsetSeconds);

QByteArray Greeting(bool withTime, const Clock& clock);

}  // namespace quell
