#include "core/second_stamp.h"

#include <gtest/gtest.h>

namespace quell {
namespace {

TEST(SecondStamp, FormatsAgainWhenTheSecondOrTheOffsetChanges) {
  const QDateTime base(QDate(2026, 12, 8), QTime(23, 59, 59, 0), Qt::OffsetFromUTC, 3 * 3600);
  const QDateTime cases[] = {
      base,
      base.addMSecs(999),                      // same second
      base.addMSecs(1000),                     // next second, next day
      base.addMSecs(1000).toOffsetFromUtc(0),  // same instant seen from another offset
      base.addMSecs(-1),                       // back a second
  };
  SecondStamp stamp(QStringLiteral("dd/MM/yyyy hh/mm/ss"));
  for (const QDateTime& at : cases)
    EXPECT_EQ(stamp.Text(at), at.toString(QStringLiteral("dd/MM/yyyy hh/mm/ss")).toStdString())
        << at.toString(Qt::ISODateWithMs).toStdString();
}

}  // namespace
}  // namespace quell
