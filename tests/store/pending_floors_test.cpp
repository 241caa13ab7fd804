// The floors a node keeps on the server for finding its pending rows: at
// or below the first pending row of each run, the run being written
// included, and gone once a run has nothing pending.
#include "store/pending_floors.h"

#include <gtest/gtest.h>

#include <limits>

namespace quell {
namespace {

EventRow Row(int64_t run, int64_t seq, EventFate console, EventFate notice = EventFate::None) {
  EventRow r;
  r.run = run;
  r.seq = seq;
  r.console = console;
  r.notice = notice;
  return r;
}

using Floors = std::vector<std::pair<int64_t, int64_t>>;
constexpr int64_t kNoRows = std::numeric_limits<int64_t>::max();

TEST(PendingFloorsTest, EachRunsFirstPendingRowAndTheRunBeingWritten) {
  PendingFloors f;
  EXPECT_EQ(f.Floors(5, kNoRows), Floors{});
  EXPECT_EQ(f.Floors(5, 10), (Floors{{5, 10}}));
  f.Add(Row(9, 4, EventFate::Pending));
  f.Add(Row(3, 8, EventFate::Delivered, EventFate::Pending));
  f.Add(Row(3, 2, EventFate::Delivered));  // nothing waits: not kept
  f.Add(Row(3, 7, EventFate::Pending, EventFate::Pending));
  f.Add(Row(5, 12, EventFate::Pending));
  EXPECT_EQ(f.Floors(5, 20), (Floors{{3, 7}, {5, 12}, {9, 4}}));
  EXPECT_EQ(f.Floors(5, 11), (Floors{{3, 7}, {5, 11}, {9, 4}}));
  // The run being written, before, between and after the runs kept.
  EXPECT_EQ(f.Floors(1, 30), (Floors{{1, 30}, {3, 7}, {5, 12}, {9, 4}}));
  EXPECT_EQ(f.Floors(4, 30), (Floors{{3, 7}, {4, 30}, {5, 12}, {9, 4}}));
  EXPECT_EQ(f.Floors(10, kNoRows), (Floors{{3, 7}, {5, 12}, {9, 4}}));
}

TEST(PendingFloorsTest, ARowLeavesOnlyWhenNothingWaitsForIt) {
  PendingFloors f;
  f.Add(Row(3, 7, EventFate::Pending, EventFate::Pending));
  f.Add(Row(3, 8, EventFate::Pending));
  f.Apply(3, 7, EventTarget::Console, EventFate::Delivered);
  EXPECT_EQ(f.Floors(4, kNoRows), (Floors{{3, 7}}));  // its notice still waits
  f.Apply(3, 7, EventTarget::Notice, EventFate::Dropped);
  EXPECT_EQ(f.Floors(4, kNoRows), (Floors{{3, 8}}));
  f.Apply(3, 99, EventTarget::Console, EventFate::Delivered);  // not kept: nothing
  f.Apply(3, 8, EventTarget::Console, EventFate::Delivered);
  EXPECT_EQ(f.Floors(4, kNoRows), Floors{});
  EXPECT_EQ(f.Size(), 0u);
}

}  // namespace
}  // namespace quell
