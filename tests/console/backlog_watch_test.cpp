#include "console/backlog_watch.h"

#include <gtest/gtest.h>

#include "tests/support/fake_clock.h"

namespace quell {
namespace {

class BacklogWatchTest : public ::testing::Test {
 protected:
  // One console output tick a second with the queue at size waiting.
  void Second(size_t waiting, bool answering = false) {
    clock_.Advance(1000);
    watch_.Tick(waiting, answering);
  }
  std::string Top() const { return journal_.Size() ? journal_.Entries()[0] : "(none)"; }

  test::FakeClock clock_;
  Journal journal_;
  BacklogWatch watch_{clock_, journal_};
};

// Events start waiting: one line at once; nothing more until the minute is
// over (59 s is a near miss), then the count and the oldest entry's age;
// one line when the queue is empty again, and none while it stays empty.
TEST_F(BacklogWatchTest, StartEveryMinuteAndEmptyAgain) {
  Second(0);
  EXPECT_EQ(journal_.Size(), 0u);
  Second(1);
  EXPECT_EQ(Top(), "Events store: 1 event waits for the console (it does not answer)");
  for (int i = 0; i < 59; ++i) Second(2);
  EXPECT_EQ(journal_.Size(), 1u);  // 59 s after the first line
  Second(3);
  EXPECT_EQ(Top(),
            "Events store: 3 events wait for the console, the oldest for 1 min (it does not "
            "answer)");
  Second(0, true);
  EXPECT_EQ(Top(), "Events store: no event waits for the console any more");
  Second(0);
  EXPECT_EQ(journal_.Size(), 3u);
}

// While the console takes one a second the oldest age follows the entries
// still queued, not the moment the backlog began.
TEST_F(BacklogWatchTest, OldestAgeFollowsTheDrain) {
  Second(2);  // two entries at t = 1 s
  for (int i = 0; i < 29; ++i) Second(2);
  Second(5);  // three more at t = 31 s
  for (int i = 0; i < 29; ++i) Second(5);
  Second(3, true);  // at 61 s the first two went out: the oldest came at 31 s
  EXPECT_EQ(Top(),
            "Events store: 3 events wait for the console, the oldest for 30 s (it answers: one "
            "goes out a second)");
}

TEST_F(BacklogWatchTest, AgeIsWrittenForPeople) {
  EXPECT_EQ(BacklogWatch::Age(59'999), "59 s");
  EXPECT_EQ(BacklogWatch::Age(60'000), "1 min");
  EXPECT_EQ(BacklogWatch::Age(3'600'000 + 5 * 60'000), "1 h 5 min");
}

}  // namespace
}  // namespace quell
