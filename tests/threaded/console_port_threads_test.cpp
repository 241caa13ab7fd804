// The console port switched while its keep-alive worker runs.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <thread>

#include "console/console_port.h"
#include "lines/line_port.h"
#include "lines/worker.h"
#include "tests/support/console_dialog.h"
#include "tests/support/fake_clock.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_prompt.h"

namespace quell {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

template <typename Pred>
bool Eventually(Pred pred, std::chrono::milliseconds timeout) {
  const auto deadline = SteadyClock::now() + timeout;
  while (!pred()) {
    if (SteadyClock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

class ConsolePortThreadsTest : public ::testing::Test {
 protected:
  ConsolePortThreadsTest()
      : port_(line_, dir_.Names(), clock_, trace_, journal_, journalQueue_, prompt_, settings_,
              dir_.Path(), [this](TLineGSM& line) {
                line.Worker = std::make_unique<TMyTimer>(line, steps_, &trace_);
              }) {
    line_.LineType = "VCOM";
    line_.Settings = TL_SET{20, 0, 1, 1};
    dir_.Map(5, device_.SlavePath());
    line_.PortNumber = 5;
  }

  test::PtyMaster device_;
  test::PortDir dir_;
  StepTable steps_;
  TLineGSM line_;
  test::FakeClock clock_;
  TraceView trace_;
  Journal journal_;
  SharedTextList journalQueue_;
  test::RecordingPrompt prompt_;
  ConsoleSettings settings_;
  ConsolePort port_;
};

// The worker may handle an ACK it read just before the port closed after
// the switch-off has begun; the port must still end up not answering, or
// events would be written into a closed port and lost.
TEST_F(ConsolePortThreadsTest, SwitchOffLeavesAliveClearEvenWhenTheWorkerLastSawAnAck) {
  ASSERT_TRUE(device_.Ok());
  std::atomic<bool> stepping{false};
  steps_.KeepAliveStep = [&](TLineGSM& line) {
    line.Alive = true;
    stepping = true;
    while (ReadLineByte(line)) {
    }
    // The switch-off is under way: this step ends after it cleared Alive.
    if (Eventually([&] { return !line.Started; }, 2000ms))
      Eventually([&] { return !line.Alive; }, 300ms);
    line.Alive = true;
  };
  ASSERT_TRUE(port_.SwitchOn());
  ASSERT_TRUE(Eventually([&] { return stepping.load(); }, 3000ms));
  port_.SwitchOff();
  EXPECT_FALSE(line_.Alive);
  EXPECT_FALSE(line_.Worker);
}

// Run under ThreadSanitizer: the dialog must not change the settings block
// that the running worker reads.
TEST_F(ConsolePortThreadsTest, DialogAppliedWhileTheWorkerRuns) {
  ASSERT_TRUE(device_.Ok());
  std::atomic<int> steps{0};
  steps_.KeepAliveStep = [&](TLineGSM&) { ++steps; };
  ASSERT_TRUE(port_.SwitchOn());
  ASSERT_TRUE(Eventually([&] { return steps > 2; }, 3000ms));
  EXPECT_EQ(port_.ApplyDialog(test::ConsoleDialog("COM5", false)), "");
  EXPECT_FALSE(line_.PortOpen);
  EXPECT_EQ(line_.Settings.Timer, 750);
  EXPECT_EQ(line_.Settings.RxEvent, 0);
}

}  // namespace
}  // namespace quell
