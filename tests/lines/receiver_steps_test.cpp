// Receiver steps driven directly on a line whose port is a pseudo-terminal.
#include <gtest/gtest.h>

#include "core/wire.h"
#include "lines/line_port.h"
#include "lines/port_names.h"
#include "lines/receiver_steps.h"
#include "lines/serial_port.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"
#include "tests/support/manual_event_log.h"
#include "tests/support/pty_pair.h"

namespace quell {
namespace {

class ReceiverStepsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device_.Ok());
    names_.Parse("COM7=" + device_.SlavePath() + "\n");
    line_.PortNumber = 7;
    line_.LineName = "R1";
    line_.NoticeQueue = &notices_;
    ASSERT_TRUE(OpenLinePort(line_, names_, clock_));
    ctx_.clock = &clock_;
    ctx_.consoleQueue = &console_;
    ctx_.journalQueue = &journal_;
    ctx_.trace = &trace_;
    ctx_.clients = &clients_;
    ctx_.consoleAcknowledged = &acknowledged_;
  }
  void TearDown() override { CloseLinePort(line_); }
  // The pseudo-terminal hands bytes over asynchronously; a step only reads
  // what is already queued, so wait (bounded) until it is.
  void AwaitInput() {
    if (auto port = LinePort(line_)) port->WaitForEvent(2000);
  }

  test::PtyMaster device_;
  PortNames names_;
  test::FakeClock clock_;
  TLineGSM line_;
  NoticeList notices_;
  SharedTextList console_, journal_;
  TraceView trace_;
  test::FakeClientFeed clients_;
  std::atomic<bool> acknowledged_{false};
  LineContext ctx_;
};

TEST_F(ReceiverStepsTest, MlrRelaysMessagesAndAcknowledgesHeartbeatsTwice) {
  line_.LineType = "MLR";
  clients_.wardexClients = 1;
  device_.Send(std::string("5011 181234E13001015") + kDC4 + "1011           @    " + kDC4);
  AwaitInput();
  MlrStep(line_, ctx_);
  EXPECT_EQ(device_.Receive(3), std::string(3, kACK));
  EXPECT_TRUE(line_.Alive);
  EXPECT_EQ(console_.Snapshot(),
            (std::vector<std::string>{std::string("5011 181234E13001015") + kDC4,
                                      std::string("1011           @    ") + kDC4}));
  EXPECT_EQ(notices_.Snapshot()[0], "R1;5011 181234E13001015;MLR;MLR_EVENT|");

  // Without a client nothing is noticed, but the console still gets it;
  // control bytes and bytes above 127 are dropped.
  clients_.wardexClients = 0;
  device_.Send(std::string("5011\x01\xC0 180001R13000001") + kDC4);
  AwaitInput();
  MlrStep(line_, ctx_);
  EXPECT_EQ(device_.Receive(1), std::string(1, kACK));
  EXPECT_EQ(console_.Snapshot().back(), std::string("5011 180001R13000001") + kDC4);
  EXPECT_EQ(notices_.Size(), 2u);

  // A separator in a message would add a field to the client's notice; the
  // console's copy stays as received.
  clients_.wardexClients = 1;
  device_.Send(std::string("5011;18|1234E\x7F"
                           "3001015") +
               kDC4);
  AwaitInput();
  MlrStep(line_, ctx_);
  EXPECT_EQ(notices_.Snapshot().back(), "R1;5011_18_1234E_3001015;MLR;MLR_EVENT|");
  EXPECT_EQ(console_.Snapshot().back(), std::string("5011;18|1234E\x7F"
                                                    "3001015") +
                                            kDC4);

  clock_.Advance(kMlrSilenceMs + 1);
  MlrStep(line_, ctx_);
  EXPECT_FALSE(line_.Alive);
}

TEST_F(ReceiverStepsTest, VortiAnswersOnlyWhileAClientIsConnected) {
  line_.LineType = "VORTI";
  device_.Send("00 0887 C4\r\n");
  AwaitInput();
  VortiStep(line_, ctx_);
  EXPECT_EQ(device_.Receive(1, 100), "");
  EXPECT_TRUE(notices_.Empty());

  clients_.wardexClients = 1;
  device_.Send("00 0887 ");  // split across two steps
  AwaitInput();
  VortiStep(line_, ctx_);
  device_.Send("C4\r00 OKAY @\r");
  AwaitInput();
  VortiStep(line_, ctx_);
  EXPECT_EQ(device_.Receive(2), std::string(2, kACK));
  EXPECT_EQ(notices_.Snapshot(), std::vector<std::string>{"R1;00 0887 C4\r;VORTI;VORTI_EVENT|"});
  // Only the final CR stays: separators and other control bytes become "_".
  device_.Send("00;08\t7|CRING\r");
  AwaitInput();
  VortiStep(line_, ctx_);
  EXPECT_EQ(notices_.Snapshot().back(), "R1;00_08_7_CRING\r;VORTI;VORTI_EVENT|");
  EXPECT_TRUE(console_.Empty());
}

TEST_F(ReceiverStepsTest, UnterminatedMessagesCannotGrowWithoutBound) {
  line_.LineType = "VORTI";
  clients_.wardexClients = 1;
  device_.Send(std::string(kMaxReceiverMessage + 10, 'x') + "\r");
  AwaitInput();
  VortiStep(line_, ctx_);
  EXPECT_LE(line_.RxBuffer.size(), kMaxReceiverMessage);
  ASSERT_EQ(notices_.Size(), 1u);
  EXPECT_LT(notices_.Snapshot()[0].size(), 64u);
}

TEST_F(ReceiverStepsTest, KeepAliveFollowsTheConsoleAcknowledgements) {
  line_.LineType = "VCOM";
  device_.Send("xyz");
  KeepAliveStep(line_, ctx_);
  EXPECT_FALSE(line_.Alive);
  EXPECT_FALSE(acknowledged_);

  device_.Send(std::string(2, kACK));
  KeepAliveStep(line_, ctx_);
  EXPECT_TRUE(line_.Alive);
  EXPECT_TRUE(acknowledged_);
  EXPECT_EQ(journal_.Snapshot(), std::vector<std::string>{"Quell Server ComPort: Alive"});

  clock_.Advance(kConsoleSilenceMs + 1);
  KeepAliveStep(line_, ctx_);
  KeepAliveStep(line_, ctx_);
  EXPECT_FALSE(line_.Alive);
  EXPECT_EQ(journal_.Snapshot(),
            (std::vector<std::string>{"Quell Server ComPort: Wait for response ...",
                                      "Quell Server ComPort: Alive"}));
}

TEST(SmsEvent, TurnsContactIdGroupsIntoReceiverLines) {
  test::FakeClock clock;
  SharedTextList console;
  NoticeList notices;
  TraceView trace;
  test::FakeClientFeed clients;
  clients.wardexClients = 1;
  LineContext ctx{&clock, &console, nullptr, &trace, &clients, nullptr};
  TLineGSM line;
  line.LineName = "G1";
  line.LineType = "GSM XCALL";
  line.NoticeQueue = &notices;

  SmsEvent(line, "C1D011234113001001X", ctx);
  EXPECT_EQ(console.Snapshot(), std::vector<std::string>{"5099 181234E13001001"});
  EXPECT_EQ(notices.Snapshot(),
            std::vector<std::string>{"G1;5099 181234E13001001;GSM XCALL;MLR_EVENT|"});

  console.Clear();
  SmsEvent(line, "XC1D0112341130010013401020021110300301130", ctx);
  EXPECT_EQ(console.Snapshot(),
            (std::vector<std::string>{"5099 181234E13001001", "5099 181234R40102002",
                                      "5099 181234E11030030"}));

  console.Clear();
  SmsEvent(line, "NO REPORT HERE", ctx);
  SmsEvent(line, "C1D0112345130010013", ctx);  // group starting with 5
  EXPECT_TRUE(console.Empty());

  // Found by fuzzing: a group or account that is not letters and digits ends
  // the report with a trace line, so no ";" or "|" splits the notice fields.
  notices.Clear();
  for (const char* text : {"C1D011234113;01001", "C1D0112|41130010013",
                           "C1D011234113\x16"
                           "01001",
                           "C1D0112341130010011(30200 20;"}) {
    SmsEvent(line, text, ctx);
    EXPECT_EQ(trace.Lines().back(), std::string("G1: short-message report dropped: ") + text);
  }
  EXPECT_EQ(console.Snapshot(), std::vector<std::string>{"5099 181234E13001001"});
  EXPECT_EQ(notices.Size(), 1u);
}

// With the event store: a receiver's message is acknowledged and passed on
// only once its row is committed; a message not stored gets no ACK (the
// receiver repeats it) and goes nowhere. A VORTI link test makes no row.
TEST_F(ReceiverStepsTest, ReceiverMessagesAreStoredBeforeTheirAck) {
  test::ManualEventLog log;
  DeliveryLedger consoleLedger, noticeLedger;
  ctx_.events = &log;
  ctx_.consoleLedger = &consoleLedger;
  ctx_.noticeLedger = &noticeLedger;
  clients_.wardexClients = 1;
  const std::string event = "5011 181234E13001015";

  line_.LineType = "MLR";
  log.failWaits = true;
  device_.Send(event + kDC4);
  AwaitInput();
  MlrStep(line_, ctx_);
  EXPECT_EQ(device_.Receive(1, 50), "");
  EXPECT_TRUE(console_.Empty());
  EXPECT_TRUE(notices_.Empty());
  EXPECT_EQ(trace_.Lines().back(), "R1: event not stored, not acknowledged: " + event + kDC4);

  log.failWaits = false;
  device_.Send(event + kDC4);
  AwaitInput();
  MlrStep(line_, ctx_);
  EXPECT_EQ(device_.Receive(1), std::string(1, kACK));
  ASSERT_EQ(log.rows.size(), 1u);
  EXPECT_EQ(log.rows[0].road, "mlr");
  EXPECT_EQ(log.rows[0].line, "R1");
  EXPECT_EQ(log.rows[0].account, "1234");
  EXPECT_EQ(log.rows[0].notice, EventFate::Pending);
  EXPECT_EQ(console_.Snapshot(), std::vector<std::string>{event + kDC4});
  EXPECT_EQ(consoleLedger.Take(event + kDC4).seq, 1);
  EXPECT_EQ(noticeLedger.Take("R1;" + event + ";MLR;MLR_EVENT|").seq, 1);

  line_.LineType = "VORTI";
  device_.Send("00 OKAY @\r00 0887 C4\r");
  AwaitInput();
  VortiStep(line_, ctx_);
  EXPECT_EQ(device_.Receive(2), std::string(2, kACK));
  ASSERT_EQ(log.rows.size(), 2u);
  EXPECT_EQ(log.rows[1].raw, "00 0887 C4\r");
  EXPECT_EQ(noticeLedger.Take("R1;00 0887 C4\r;VORTI;VORTI_EVENT|").seq, 2);
}

}  // namespace
}  // namespace quell
