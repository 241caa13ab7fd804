#pragma once
// Local date-time from UTC milliseconds with the zone's offset looked up at
// most once per UTC second. Asking the C library for local time re-reads the
// zone settings on every call; an offset only changes at a whole second, so
// a cached one gives the same date and time. Thread-safe.
#include <QDateTime>
#include <cstdint>
#include <mutex>

namespace quell {

class LocalTimeCache {
 public:
  // The local time at utcMs, as an offset-from-UTC date-time.
  QDateTime At(qint64 utcMs);

 private:
  std::mutex lock_;
  qint64 second_ = INT64_MIN;  // UTC second the offset belongs to
  int offsetSeconds_ = 0;
};

}  // namespace quell
