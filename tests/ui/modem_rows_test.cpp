#include "ui/modem_rows.h"

#include <gmock/gmock.h>

namespace quell {
namespace {

TEST(ModemRowsTest, SignalIconFollowsQuarterOfLevelPlusOne) {
  // Levels per icon: 0-2 → 0, 3-6 → 1, 7-18 → 2, 19-26 → 3, 27-31 → 4.
  const int expected[32] = {0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2,
                            2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4};
  for (int level = 0; level <= 31; ++level)
    EXPECT_EQ(SignalIconIndex(level), expected[level]) << "level " << level;
  // Out of range: no bars.
  EXPECT_EQ(SignalIconIndex(35), 0);
  EXPECT_EQ(SignalIconIndex(99), 0);
  EXPECT_EQ(SignalIconIndex(-1), 0);
}

TEST(ModemRowsTest, RowsOnlyForKnownLevelsWithServiceIcon) {
  LineList lines;
  auto add = [&](const std::string& name, int level, int service) {
    auto line = std::make_unique<TLineGSM>();
    line->LineName = name;
    line->SignalLevel = level;
    line->ServiceStatus = service;
    lines.Add(name, std::move(line));
  };
  add("GSM1", 15, 2);
  add("GSM2", 99, 2);  // unknown level: no row
  add("GSM3", 0, 1);
  add("GSM4", 31, 0);
  lines.Add("empty", nullptr);

  const std::vector<ModemStateRow> rows = ModemStateRows(lines);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].caption, "GSM1");
  EXPECT_EQ(rows[0].stateIcon, 6);
  EXPECT_EQ(rows[0].signalIcon, 2);
  EXPECT_EQ(rows[1].caption, "GSM3");
  EXPECT_EQ(rows[1].stateIcon, 5);
  EXPECT_EQ(rows[1].signalIcon, 0);
  EXPECT_EQ(rows[2].caption, "GSM4");
  EXPECT_EQ(rows[2].stateIcon, 5);
  EXPECT_EQ(rows[2].signalIcon, 4);
}

}  // namespace
}  // namespace quell
