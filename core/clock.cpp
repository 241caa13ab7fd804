#include "core/clock.h"

#include <QTimeZone>
#include <ctime>

namespace quell {

uint32_t SystemClock::TickCount() const {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

QDateTime SystemClock::Now() const {
  return local_.At(QDateTime::currentMSecsSinceEpoch());
}

int SystemClock::StandardOffsetSeconds() const {
  return QTimeZone::systemTimeZone().standardTimeOffset(QDateTime::currentDateTimeUtc());
}

std::string LongTime(const QDateTime& at) {
  return at.time().toString(QStringLiteral("hh:mm:ss")).toStdString();
}

}  // namespace quell
