#include "core/local_time_cache.h"

#include <gtest/gtest.h>

#include <ctime>

namespace quell {
namespace {

// Central European time with its summer time, without the zone database.
class CetZone {
 public:
  CetZone() : old_(qgetenv("TZ")), had_(qEnvironmentVariableIsSet("TZ")) {
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
  }
  ~CetZone() {
    if (had_)
      qputenv("TZ", old_);
    else
      qunsetenv("TZ");
    tzset();
  }

 private:
  QByteArray old_;
  bool had_;
};

qint64 Utc(int y, int mo, int d, int h, int mi, int s, int ms) {
  return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC).toMSecsSinceEpoch();
}

TEST(LocalTimeCache, ShowsWhatTheLocalClockShowsAcrossOffsetChanges) {
  CetZone zone;
  const qint64 spring = Utc(2026, 3, 29, 1, 0, 0, 0);   // 02:00 CET becomes 03:00 CEST
  const qint64 autumn = Utc(2026, 10, 25, 1, 0, 0, 0);  // 03:00 CEST becomes 02:00 CET
  // In this order through one cache: the same second twice, the next one,
  // and back to an earlier second.
  const qint64 instants[] = {
      spring - 1000, spring - 1, spring, spring + 1,   spring + 999,
      spring - 1,    autumn - 1, autumn, autumn + 500, Utc(1969, 12, 31, 23, 59, 59, 500),
  };
  LocalTimeCache cache;
  for (qint64 ms : instants) {
    const QDateTime got = cache.At(ms);
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
    EXPECT_EQ(got.toMSecsSinceEpoch(), ms);
    EXPECT_EQ(got.offsetFromUtc(), local.offsetFromUtc()) << local.toString(Qt::ISODateWithMs).toStdString();
    EXPECT_EQ(got.toString(QStringLiteral("dd/MM/yyyy hh/mm/ss.zzz")),
              local.toString(QStringLiteral("dd/MM/yyyy hh/mm/ss.zzz")));
  }
}

}  // namespace
}  // namespace quell
