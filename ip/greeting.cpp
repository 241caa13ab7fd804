#include "ip/greeting.h"

namespace quell {

int GreetingHours(int standardOffsetSeconds) {
  const int offsetMinutes = standardOffsetSeconds / 60;
  const int a = offsetMinutes / 60 - 1;  // integer division truncates toward zero
  return (a >= 0 && a <= 12) ? a + 1 : 0;
}

uint32_t GreetingTime(const QDateTime& local, int standardOffsetSeconds) {
  const qint64 days = QDate(1900, 1, 1).daysTo(local.date());
  const qint64 seconds = days * 86400 + local.time().msecsSinceStartOfDay() / 1000 -
                         qint64(GreetingHours(standardOffsetSeconds)) * 3600;
  return static_cast<uint32_t>(static_cast<uint64_t>(seconds));
}

QByteArray Greeting(bool withTime, const Clock& clock) {
  QByteArray bytes(kGreetingSize, '\0');
  if (withTime) {
    const uint32_t t = GreetingTime(clock.Now(), clock.StandardOffsetSeconds());
    for (int i = 0; i < 4; ++i) bytes[20 + i] = char((t >> (8 * i)) & 0xFF);
  }
  return bytes;
}

}  // namespace quell
