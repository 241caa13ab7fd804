// The modem engine stepped by hand against the simulated modem, with the
// clock moved by the test.
#include <gtest/gtest.h>

#include "core/cp1251.h"
#include "core/wire.h"
#include "lines/call_state.h"
#include "lines/line_port.h"
#include "lines/modem_engine.h"
#include "sim/modem/sim_modem_port.h"
#include "tests/support/fake_clock.h"
#include "tests/support/pty_pair.h"

namespace quell {
namespace {

using sim::ModemOptions;
using sim::SimModemPort;

class ModemEngineTest : public ::testing::Test {
 protected:
  ModemEngineTest() {
    line_.LineName = "L1";
    line_.LineType = "GSM XCALL";
    line_.NoticeQueue = &notices_;
    line_.Commands.InitStr2 = "AT+CNMI=2,1";
    ctx_.clock = &clock_;
    ctx_.trace = &trace_;
    ctx_.consoleQueue = &console_;
  }
  void Attach(ModemOptions options = {}) {
    port_ = std::make_shared<SimModemPort>(options, [this] { return clock_.TickCount(); });
    line_.PortHandle = port_;
    line_.PortOpen = true;
    PrepareModemStart(line_, clock_.TickCount());
  }
  void Step() { ModemStep(line_, ctx_); }
  void Advance(uint32_t ms) {
    clock_.Advance(ms);
    Step();
  }
  sim::SimModem& Modem() { return port_->Modem(); }
  std::vector<std::string> Sent() { return Modem().Commands(); }
  std::string Entry(int n) { return line_.Messages.Entry(n); }

  test::FakeClock clock_;
  TLineGSM line_;
  NoticeList notices_;
  SharedTextList console_;
  TraceView trace_;
  LineContext ctx_;
  std::shared_ptr<SimModemPort> port_;
};

TEST_F(ModemEngineTest, AnsweringModemIsPolledEveryThirtySecondsThroughItsThreeCommands) {
  Attach();
  Step();  // due at once on start
  EXPECT_EQ(Sent(), std::vector<std::string>{"ATV1Q0E1"});
  Step();  // reads the echo and the OK
  EXPECT_TRUE(line_.Alive);
  EXPECT_EQ(line_.ProcTag, "INISTR_SEND_OK");
  EXPECT_EQ(Entry(11), "INISTR_SEND_OK  14:03:27");
  Advance(29999);
  EXPECT_EQ(Sent().size(), 1u);
  Advance(1);
  Advance(30000);
  Advance(30000);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"ATV1Q0E1", "AT+CLIP=1", "AT+CNMI=2,1", "ATV1Q0E1"}));
  EXPECT_TRUE(line_.Alive);
  EXPECT_EQ(Entry(10), W("LastProc_ERROR_Result: Нет сообщений"));
}

TEST_F(ModemEngineTest, SilentModemIsPolledEveryFiveSecondsAndTimesOutOnTheThirdStep) {
  test::PtyMaster device;  // nobody answers on it
  ASSERT_TRUE(device.Ok());
  test::PortDir dir;
  dir.Map(9, device.SlavePath());
  line_.PortNumber = 9;
  ASSERT_TRUE(OpenLinePort(line_, dir.Names(), clock_));
  line_.PollTick = clock_.TickCount();  // as when created at start-up
  // Nothing sent yet: no reply is awaited, so no timeout is reported.
  for (int i = 0; i < 4; ++i) Step();
  EXPECT_EQ(Entry(10), W("LastProc_ERROR_Result: Нет сообщений"));
  EXPECT_EQ(device.Receive(1, 50), "");
  Advance(4999);
  EXPECT_EQ(device.Receive(1, 50), "");
  Advance(1);
  EXPECT_EQ(device.Receive(10), "ATV1Q0E1\r\n");
  Step();
  Step();
  EXPECT_EQ(Entry(10), W("LastProc_ERROR_Result: Нет сообщений"));
  Step();
  EXPECT_EQ(Entry(10), "INISTR_SEND_ERROR_TIMEOUT  14:03:32");
  Advance(5000);
  EXPECT_EQ(device.Receive(11), "AT+CLIP=1\r\n");
  CloseLinePort(line_);
}

TEST_F(ModemEngineTest, NewMessageIsListedInTheSameStepAndBecomesAnEventAtAnyUptime) {
  // The last tick is 25 days past the sign change of a 32-bit count.
  for (uint32_t tick : {1000u, 0x7FFFFFFFu, 0x90000000u, 0xFFFFF000u}) {
    SCOPED_TRACE(tick);
    clock_.SetTick(tick);
    console_.Clear();
    line_.Commands.InitStr = "AT+CMGL";
    line_.Commands.InitStr1 = "AT+CMGL";
    line_.Commands.InitStr2 = "AT+CMGL";
    Attach();
    Step();
    Step();
    ASSERT_TRUE(line_.Alive);
    Modem().ReceiveSms("+79001112233", "C1D001234113001015");
    Advance(1000);  // reads +CMTI and lists at once
    EXPECT_EQ(Sent().size(), 2u);
    Step();
    EXPECT_EQ(console_.Snapshot(), std::vector<std::string>{"5099 181234E13001015"});
  }
}

TEST_F(ModemEngineTest, RingingHoldsThePollOffThirtySecondsFromTheLastRingOnly) {
  Attach();
  Step();
  Step();
  Modem().IncomingCall("+79001112233");
  for (int ring = 1; ring <= 5; ++ring) {
    Step();
    if (ring < 5) clock_.Advance(3000);
  }
  EXPECT_EQ(notices_.Size(), 5u);
  const uint32_t lastRing = clock_.TickCount();
  EXPECT_EQ(line_.PollTick, lastRing);
  line_.PollTick = lastRing + 60000;  // a longer hold set by someone else stays
  Advance(3000);
  EXPECT_EQ(notices_.Size(), 6u);
  EXPECT_EQ(line_.PollTick, lastRing + 60000);
}

TEST_F(ModemEngineTest, DataConnectionOnACallerIdLineIsHungUpAndEndsTheStep) {
  Attach();
  line_.RxBuffer = "CONNECT 9600";
  EXPECT_FALSE(ProcessModemLine(line_, ctx_));
  EXPECT_EQ(Sent(), std::vector<std::string>{"ATH"});
  EXPECT_EQ(CallStateOf(line_), "IDLE");
}

TEST_F(ModemEngineTest, ArmingLineHangsUpAnAnsweredCallOnceAfterThreeSeconds) {
  line_.Mode = 3;
  Attach();
  Modem().IncomingCall("+79001112233");
  Step();
  SendCommand(line_, "ATA", clock_);  // as a station client would ask
  Step();
  EXPECT_EQ(CallStateOf(line_), "ACTIVE");
  auto hangups = [this] {
    const auto sent = Sent();
    return std::count(sent.begin(), sent.end(), "ATH");
  };
  Advance(3000);
  EXPECT_EQ(hangups(), 0);
  Advance(1);  // no line arrives: the end of the step still hangs up
  EXPECT_EQ(hangups(), 1);
  Step();  // the echo of "ATH" and its OK must not send another
  Step();
  EXPECT_EQ(hangups(), 1);
  EXPECT_EQ(notices_.Snapshot().back(), "L1;+79001112233;XCALL_GUARD_ON;FALSE;|");
}

TEST_F(ModemEngineTest, ControlAndHighBytesAreDroppedAndOverlongResponsesCut) {
  test::PtyMaster device;
  ASSERT_TRUE(device.Ok());
  test::PortDir dir;
  dir.Map(9, device.SlavePath());
  line_.PortNumber = 9;
  ASSERT_TRUE(OpenLinePort(line_, dir.Names(), clock_));
  line_.PollTick = clock_.TickCount();  // no poll in this step
  device.Send(std::string("\x05R\xffIN\x80G\r\n") + std::string(kMaxModemLine + 1, 'A') +
              "BUSY\r\n");
  if (auto port = LinePort(line_)) port->WaitForEvent(2000);
  Step();
  EXPECT_EQ(CallStateOf(line_), "RING");  // the BUSY went with the overlong response
  EXPECT_EQ(line_.WindHistory[2], "RING");
  CloseLinePort(line_);
}

}  // namespace
}  // namespace quell
