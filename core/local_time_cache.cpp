#include "core/local_time_cache.h"

namespace quell {

namespace {

qint64 FloorSecond(qint64 ms) {
  return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

}  // namespace

QDateTime LocalTimeCache::At(qint64 utcMs) {
  const qint64 second = FloorSecond(utcMs);
  int offset;
  {
    std::lock_guard g(lock_);
    if (second != second_) {
      second_ = second;
      offsetSeconds_ = QDateTime::fromMSecsSinceEpoch(second * 1000).offsetFromUtc();
    }
    offset = offsetSeconds_;
  }
  return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::OffsetFromUTC, offset);
}

}  // namespace quell
