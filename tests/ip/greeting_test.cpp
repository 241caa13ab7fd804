// The greeting an IP module receives on connecting.
#include "ip/greeting.h"

#include <gtest/gtest.h>

namespace quell {
namespace {

// 8 December 2026 14:03:27 local, as seconds since 1900-01-01 00:00.
constexpr uint32_t kLocalSeconds = 46362u * 86400u + 14u * 3600u + 3u * 60u + 27u;

TEST(GreetingTest, OnlyWholePositiveOffsetsUpToThirteenHoursCount) {
  EXPECT_EQ(GreetingHours(3 * 3600), 3);
  EXPECT_EQ(GreetingHours(13 * 3600), 13);
  EXPECT_EQ(GreetingHours(5 * 3600 + 1800), 5);  // +5:30
  EXPECT_EQ(GreetingHours(1800), 0);             // +0:30
  EXPECT_EQ(GreetingHours(0), 0);
  EXPECT_EQ(GreetingHours(-5 * 3600), 0);
  EXPECT_EQ(GreetingHours(14 * 3600), 0);
}

TEST(GreetingTest, TimeIsLocalSecondsSince1900ShiftedToUtc) {
  const QDateTime local(QDate(2026, 12, 8), QTime(14, 3, 27, 900));
  EXPECT_EQ(QDate(1900, 1, 1).daysTo(QDate(2026, 12, 8)), 46362);
  EXPECT_EQ(GreetingTime(local, 0), kLocalSeconds);
  EXPECT_EQ(GreetingTime(local, -5 * 3600), kLocalSeconds);
  EXPECT_EQ(GreetingTime(local, 3 * 3600), kLocalSeconds - 3 * 3600);
  // Past 2036 the count wraps like any 32-bit seconds counter.
  EXPECT_EQ(GreetingTime(QDateTime(QDate(2036, 2, 7), QTime(6, 28, 16)), 0), 0u);
}

}  // namespace
}  // namespace quell
