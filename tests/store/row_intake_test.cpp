// Rows handed to a store while a WakeBatch is open wake its thread once,
// when the outermost batch closes, so the rows of one read share a commit;
// outside a batch every hand-over wakes it, and a worker that waits for
// its own commit is never held for a batch.
#include "store/row_intake.h"

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace quell {
namespace {

// The intake alone, its wakes counted by the eventfd a store can give it.
class CountedIntake : public RowIntake {
 public:
  CountedIntake() : RowIntake(NodeName{}, 0) { intakeFd_ = eventfd(0, EFD_NONBLOCK); }
  ~CountedIntake() { ::close(intakeFd_); }
  uint64_t Wakes() {
    uint64_t n = 0;
    return ::read(intakeFd_, &n, sizeof n) == sizeof n ? n : 0;
  }
  size_t Queued() {
    std::lock_guard g(lock_);
    return queue_.size();
  }
};

TEST(RowIntakeTest, ABatchWakesTheStoreOnceWhenItsOutermostScopeCloses) {
  CountedIntake intake;
  {
    WakeBatch outer;
    {
      WakeBatch inner;
      intake.Queue(EventRow{}, nullptr, false);
      intake.Queue(EventRow{}, nullptr, false);
    }
    intake.QueueFate(RowKey{NodeName{}, 0, 1}, EventTarget::Console, EventFate::Delivered);
    intake.QueueGroup({EventRow{}, EventRow{}}, nullptr);
    EXPECT_EQ(intake.Wakes(), 0u);
    EXPECT_EQ(intake.Queued(), 4u);
  }
  EXPECT_EQ(intake.Wakes(), 1u);
  intake.Queue(EventRow{}, nullptr, false);
  intake.Queue(EventRow{}, nullptr, false);
  EXPECT_EQ(intake.Wakes(), 2u);
}

TEST(RowIntakeTest, AWaitingWorkerIsNeverHeldForABatch) {
  CountedIntake intake;
  WakeBatch batch;
  // Nobody commits here: the wait ends at its deadline, after the wake.
  EXPECT_FALSE(intake.QueueAndWait(EventRow{}, 1, nullptr));
  EXPECT_EQ(intake.Wakes(), 1u);
}

TEST(RowIntakeTest, AnIntakeGoneBeforeItsBatchClosesIsNotWoken) {
  WakeBatch batch;
  auto intake = std::make_unique<CountedIntake>();
  intake->Queue(EventRow{}, nullptr, false);
  intake.reset();  // the batch's close must not reach it
}

}  // namespace
}  // namespace quell
