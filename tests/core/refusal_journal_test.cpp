#include "core/refusal_journal.h"

#include <gtest/gtest.h>

#include "tests/support/fake_clock.h"

namespace quell {
namespace {

class RefusalJournalTest : public ::testing::Test {
 protected:
  test::FakeClock clock_;
  Journal journal_;
  RefusalJournal refusals_{clock_, journal_};
};

// One line per account and reason a minute: a repeat 1 ms before the minute is
// held back, the one at the minute is written; other accounts and other
// reasons are independent of each other.
TEST_F(RefusalJournalTest, OneLinePerAccountAndReasonAMinute) {
  EXPECT_TRUE(refusals_.Note("123F", "key", "key 1"));
  EXPECT_TRUE(refusals_.Note("123F", "crc", "crc 1"));
  EXPECT_TRUE(refusals_.Note("BEEF", "key", "key beef"));
  clock_.Advance(RefusalJournal::kWindowMs - 1);
  EXPECT_FALSE(refusals_.Note("123F", "key", "key 2"));
  clock_.Advance(1);
  EXPECT_TRUE(refusals_.Note("123F", "key", "key 3"));
  ASSERT_EQ(journal_.Size(), 4u);
  EXPECT_EQ(journal_.Entries()[0], "key 3");
  EXPECT_EQ(journal_.Entries()[3], "key 1");
}

// The account and reason cannot run into each other ("AB"+"C" vs "A"+"BC").
TEST_F(RefusalJournalTest, AccountAndReasonAreKeptApart) {
  EXPECT_TRUE(refusals_.Note("AB", "C", "one"));
  EXPECT_TRUE(refusals_.Note("A", "BC", "two"));
}

// The tick count wraps at 2^32 without silencing a pair for ever.
TEST_F(RefusalJournalTest, SurvivesTheTickWrap) {
  clock_.SetTick(0xFFFF'FF00u);
  EXPECT_TRUE(refusals_.Note("A", "r", "before"));
  clock_.SetTick(0xFFFF'FF00u + RefusalJournal::kWindowMs);
  EXPECT_TRUE(refusals_.Note("A", "r", "after"));
}

// Memory stays bounded by kMaxPairs; a new pair while the table is full of
// recent ones is counted, and the count is journalled once the minute is over.
TEST_F(RefusalJournalTest, BoundedTableCountsWhatItLeavesOut) {
  for (size_t i = 0; i < RefusalJournal::kMaxPairs; ++i)
    ASSERT_TRUE(refusals_.Note("A" + std::to_string(i), "r", "line"));
  EXPECT_FALSE(refusals_.Note("extra1", "r", "lost"));
  EXPECT_FALSE(refusals_.Note("extra2", "r", "lost"));
  EXPECT_EQ(refusals_.Remembered(), RefusalJournal::kMaxPairs);
  clock_.Advance(RefusalJournal::kWindowMs);
  EXPECT_TRUE(refusals_.Note("extra3", "r", "back"));
  EXPECT_EQ(refusals_.Remembered(), 1u);  // the expired pairs were forgotten
  ASSERT_GE(journal_.Size(), 2u);
  EXPECT_EQ(journal_.Entries()[0], "back");
  EXPECT_EQ(journal_.Entries()[1],
            "Refused frames: 2 more refusals not journalled (too many accounts within a minute)");
}

}  // namespace
}  // namespace quell
