// The rows a store keeps as waiting for delivery, found by their keys:
// rows of two runs (or two nodes) with the same number are two rows.
#include "store/pending_rows.h"

#include <gtest/gtest.h>

#include "tests/support/store_files.h"

namespace quell {
namespace {

EventRow Row(const char* node, int64_t run, int64_t seq, int64_t receivedMs) {
  EventRow r = test::TcpRow(std::to_string(seq));
  r.node = NodeName::Of(node);
  r.run = run;
  r.seq = seq;
  r.receivedMs = receivedMs;
  return r;
}

TEST(PendingRowsTest, RowsOfOtherRunsAndNodesWithTheSameNumberAreApart) {
  PendingRows rows;
  rows.Add(Row("gw1", 7, 1, 100));  // an earlier run, read back first
  rows.Add(Row("gw1", 9, 1, 200));  // this run's row 1
  rows.Add(Row("gw2", 9, 1, 300));
  rows.Add(Row("gw1", 9, 1, 999));  // already kept: stays as it was
  EXPECT_EQ(rows.Figures().console, 3);
  EXPECT_EQ(rows.Figures().oldestConsoleMs, 100);

  // The earlier run's row goes; this run's row 1 stays.
  rows.Apply({RowKey{NodeName::Of("gw1"), 7, 1}, EventTarget::Console, EventFate::Delivered});
  EXPECT_EQ(rows.Figures().console, 2);
  EXPECT_EQ(rows.Figures().oldestConsoleMs, 200);
  // A key of no kept row (no node: a file's row 1) changes nothing.
  rows.Apply({RowKey{{}, 0, 1}, EventTarget::Console, EventFate::Delivered});
  EXPECT_EQ(rows.Figures().console, 2);
  rows.Apply({RowKey{NodeName::Of("gw1"), 9, 1}, EventTarget::Console, EventFate::Dropped});
  EXPECT_EQ(rows.Figures().oldestConsoleMs, 300);
  EXPECT_EQ(rows.LastSeq(), 1);
  ASSERT_EQ(rows.Rows().size(), 1u);
  EXPECT_EQ(rows.Rows().begin()->second.node, NodeName::Of("gw2"));
  // Added again after it went: kept again.
  rows.Add(Row("gw1", 7, 1, 100));
  EXPECT_EQ(rows.Figures().oldestConsoleMs, 300);  // in the order added
  EXPECT_EQ(rows.Figures().console, 2);
}

TEST(PendingRowsTest, NodeNamesAreInternedAndKeysCompareWhole) {
  const std::string built = std::string("gw") + "1";
  EXPECT_EQ(NodeName::Of("gw1"), NodeName::Of(built));
  EXPECT_EQ(&NodeName::Of("gw1").str(), &NodeName::Of(built).str());
  EXPECT_FALSE(NodeName::Of("gw1") == NodeName::Of("gw1 "));
  EXPECT_TRUE(NodeName::Of("").empty());
  EXPECT_EQ(NodeName().str(), "");
  const RowKey k{NodeName::Of("gw1"), 5, 3};
  EXPECT_FALSE(k == (RowKey{NodeName::Of("gw1"), 6, 3}));
  EXPECT_FALSE(k == (RowKey{NodeName(), 5, 3}));
  EXPECT_EQ(k.Plus(2), (RowKey{NodeName::Of("gw1"), 5, 5}));
  EXPECT_FALSE(RowKey{}.Plus(2));  // no row, none further
  EXPECT_FALSE((RowKey{NodeName::Of("gw1"), 5, 0}));
}

}  // namespace
}  // namespace quell
