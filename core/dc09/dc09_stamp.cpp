#include "core/dc09/dc09_stamp.h"

#include <cstdio>

namespace quell {
namespace {

// Decimal digits at text[at, at + n); -1 when one of them is not a digit.
int Digits(std::string_view text, size_t at, size_t n) {
  int v = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    v = v * 10 + (text[i] - '0');
  }
  return v;
}

}  // namespace

std::optional<int64_t> ParseDc09Stamp(std::string_view t) {
  if (t.size() != kDc09StampLength || t[2] != ':' || t[5] != ':' || t[8] != ',' || t[11] != '-' ||
      t[14] != '-')
    return std::nullopt;
  const int h = Digits(t, 0, 2), mi = Digits(t, 3, 2), s = Digits(t, 6, 2);
  const int mo = Digits(t, 9, 2), d = Digits(t, 12, 2), y = Digits(t, 15, 4);
  if (h < 0 || mi < 0 || s < 0 || mo < 0 || d < 0 || y < 0) return std::nullopt;
  const QDate date(y, mo, d);
  if (!date.isValid() || !QTime::isValid(h, mi, s)) return std::nullopt;
  // UTC has no offsets to look up: whole days since 1970 and the seconds.
  constexpr qint64 kJulianDayOf1970 = 2440588;
  return (date.toJulianDay() - kJulianDayOf1970) * 86400 + h * 3600 + mi * 60 + s;
}

const std::string& Dc09StampText(const QDateTime& at) {
  // Replies within the same second share their text: formatted once.
  thread_local int64_t lastSecond = -1;
  thread_local std::string lastText;
  const int64_t second = at.toSecsSinceEpoch();
  if (second == lastSecond) return lastText;
  const QDateTime u = QDateTime::fromSecsSinceEpoch(second, Qt::UTC);
  const QDate d = u.date();
  const QTime t = u.time();
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d,%02d-%02d-%04d", t.hour(), t.minute(),
                t.second(), d.month(), d.day(), d.year());
  lastSecond = second;
  lastText = text;
  return lastText;
}

}  // namespace quell
