#include <gtest/gtest.h>

#include "lines/supervision.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"

namespace quell {
namespace {

class SupervisionTest : public ::testing::Test {
 protected:
  SupervisionTest() {
    auto line = std::make_unique<TLineGSM>();
    line->LineName = "L1";
    line_ = line.get();
    lines_.Add("L1", std::move(line));
  }
  void Tick() { SuperviseLines(lines_, notices_, sound_, clock_); }

  LineList lines_;
  TLineGSM* line_;
  NoticeList notices_;
  test::CountingSound sound_;
  test::FakeClock clock_;
};

TEST_F(SupervisionTest, AliveSilentAliveGivesOneOffWithOneSoundAndOneOn) {
  line_->PortOpen = true;
  Tick();
  EXPECT_EQ(lines_.At(0).IconIndex, kIconSilent);
  EXPECT_TRUE(notices_.Empty());  // opening on a silent device says nothing
  line_->Alive = true;
  Tick();
  Tick();
  line_->Alive = false;
  Tick();
  Tick();
  line_->Alive = true;
  Tick();
  EXPECT_EQ(notices_.Snapshot(),
            (std::vector<std::string>{"QUELL_LINE_STATUS&L1&ON", "QUELL_LINE_STATUS&L1&OFF",
                                      "QUELL_LINE_STATUS&L1&ON"}));
  EXPECT_EQ(sound_.plays, 1);
  EXPECT_EQ(lines_.At(0).IconIndex, kIconAlive);
}

TEST_F(SupervisionTest, StoppingAnAliveLineSoundsButASilentOneDoesNot) {
  line_->PortOpen = true;
  line_->Alive = true;
  Tick();
  line_->PortOpen = false;  // stopped while alive
  Tick();
  EXPECT_EQ(notices_.Snapshot().back(), "QUELL_LINE_STATUS&L1&OFF");
  EXPECT_EQ(sound_.plays, 1);
  EXPECT_EQ(lines_.At(0).IconIndex, kIconClosed);

  line_->Alive = false;
  line_->PortOpen = true;  // open and silent, then closed again: no notices
  Tick();
  line_->PortOpen = false;
  Tick();
  EXPECT_EQ(notices_.Size(), 2u);
  EXPECT_EQ(sound_.plays, 1);
}

}  // namespace
}  // namespace quell
