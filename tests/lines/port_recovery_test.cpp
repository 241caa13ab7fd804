#include "lines/port_recovery.h"

#include <gtest/gtest.h>

#include <memory>

#include "lines/line.h"
#include "lines/line_port.h"
#include "lines/serial_port.h"
#include "tests/support/fake_clock.h"
#include "tests/support/pty_pair.h"

namespace quell {
namespace {

class PortRecoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(first.Ok()) << first.Error();
    ASSERT_TRUE(dir.Ok());
    dir.Map(3, first.SlavePath());
    auto owned = std::make_unique<TLineGSM>();
    owned->PortNumber = 3;
    line = owned.get();
    lines.Add("COM3", std::move(owned));
  }
  // What the line's worker does: its wait sees the hang-up.
  void WorkerWaits() {
    if (auto port = LinePort(*line)) port->WaitForEvent(0);
  }
  int Tick() { return recovery.Tick(lines, dir.Names(), clock, &trace); }

  test::PtyMaster first;
  test::PortDir dir;
  test::FakeClock clock;
  TraceView trace;
  LineList lines;
  TLineGSM* line = nullptr;
  PortRecovery recovery;
};

TEST_F(PortRecoveryTest, DeviceGoneAndBackIsOpenedAgain) {
  ASSERT_TRUE(OpenLinePort(*line, dir.Names(), clock, &trace));
  line->Started = true;
  EXPECT_EQ(Tick(), 0);  // a working port is left alone
  const std::shared_ptr<SerialPort> before = LinePort(*line);

  first.Hangup();
  WorkerWaits();
  ASSERT_TRUE(before->HungUp());
  EXPECT_EQ(Tick(), 0);  // tried at once: the device is not there
  EXPECT_FALSE(line->PortOpen);
  const size_t traced = trace.Size();

  test::PtyMaster second;
  ASSERT_TRUE(second.Ok()) << second.Error();
  dir.Write("COM3=" + second.SlavePath() + "\r\n");  // back under the same name
  clock.Advance(PortRecovery::kRetryMs - 1);
  EXPECT_EQ(Tick(), 0);  // not due yet
  clock.Advance(1);
  EXPECT_EQ(Tick(), 1);
  EXPECT_TRUE(line->PortOpen);
  EXPECT_EQ(WriteLine(*line, "AT\r"), 3);
  EXPECT_EQ(second.Receive(3), "AT\r");
  EXPECT_EQ(trace.Size(), traced + 1);  // the open, nothing for the wait
  EXPECT_EQ(Tick(), 0);
}

TEST_F(PortRecoveryTest, AbsentDeviceIsRetriedQuietlyAndStoppedLinesNot) {
  dir.Write("COM3=/nonexistent/quell-device\r\n");
  line->Started = true;
  EXPECT_EQ(Tick(), 0);
  const size_t traced = trace.Size();
  EXPECT_GT(traced, 0u);  // the first failure is traced
  for (int i = 0; i < 3; ++i) {
    clock.Advance(PortRecovery::kRetryMs);
    EXPECT_EQ(Tick(), 0);
  }
  EXPECT_EQ(trace.Size(), traced);  // later failures are not

  dir.Write("COM3=" + first.SlavePath() + "\r\n");
  line->Started = false;  // the operator stopped the line
  clock.Advance(PortRecovery::kRetryMs);
  EXPECT_EQ(Tick(), 0);
  EXPECT_FALSE(line->PortOpen);
}

}  // namespace
}  // namespace quell
