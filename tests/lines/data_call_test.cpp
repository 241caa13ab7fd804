// Data-call lines: the panel frame exchange answered from the panel info
// list, and the one error notice of a request whose call ends early.
#include <gtest/gtest.h>

#include "lines/call_state.h"
#include "lines/data_call.h"
#include "lines/line_port.h"
#include "lines/modem_engine.h"
#include "tests/support/fake_clock.h"
#include "tests/support/pty_pair.h"

namespace quell {
namespace {

class DataCallTest : public ::testing::Test {
 protected:
  DataCallTest() {
    line_.LineName = "S1";
    line_.LineType = "GSM Selva";
    line_.NoticeQueue = &notices_;
    line_.CallerNumber = "+79001112233";
    ctx_.clock = &clock_;
    ctx_.trace = &trace_;
    ctx_.panels = &panels_;
  }
  void SetUp() override {
    ASSERT_TRUE(device_.Ok());
    dir_.Map(9, device_.SlavePath());
    line_.PortNumber = 9;
    ASSERT_TRUE(OpenLinePort(line_, dir_.Names(), clock_));
    line_.PollTick = clock_.TickCount();
  }
  void TearDown() override { CloseLinePort(line_); }
  // A response line as the modem engine hands it on.
  void Receive(const std::string& text) {
    line_.RxBuffer = text;
    ProcessModemLine(line_, ctx_);
  }
  void Connect(const char* mark) {
    line_.EventMark = mark;
    Receive("CONNECT 9600");
  }

  test::PtyMaster device_;
  test::PortDir dir_;
  test::FakeClock clock_;
  TLineGSM line_;
  NoticeList notices_;
  TraceView trace_;
  std::vector<std::string> panels_ = {
      "event ~921610#~0000ABCDEF00",
      "event ~921620#~0000GH00",
      "event refresh ~921675123456#~0000XYZ00",
      "event close#~921602QQ00",
  };
  LineContext ctx_;
};

TEST_F(DataCallTest, ChecksumsMatchTheirCheckValueAndTheWorkedReplies) {
  EXPECT_EQ(Crc8Maxim("123456789"), 0xA1);
  Connect("event");
  Receive("~123410");
  EXPECT_EQ(device_.Receive(15), "~1234ABCDEF55\r\n");
  line_.DataCallStep = 0;
  Receive("~H123410");
  EXPECT_EQ(device_.Receive(16), "~H1234ABCDEF14\r\n");
  // Code 75 carries a six-character extension in its request code.
  line_.DataCallStep = 0;
  Receive("~123475123456");
  const std::string reply = device_.Receive(11);
  EXPECT_EQ(reply.substr(0, 8), "~1234XYZ");
}

TEST_F(DataCallTest, ThirdFrameClosesReportsEscapesAndHangsUp) {
  Connect("event");
  EXPECT_EQ(int32_t(line_.PollTick - clock_.TickCount()), int32_t(kDataCallHoldMs));
  Receive("xx~123410");
  Receive("~123420");
  EXPECT_EQ(line_.DataCallStep, 2);
  device_.Receive(30, 200);
  Receive("~123410");  // matches an ordinary line, but closes
  EXPECT_EQ(notices_.Snapshot(),
            std::vector<std::string>{"S1;+79001112233;GSM Selva;~123410;SELVA_RES|"});
  char crc[3];
  std::snprintf(crc, sizeof crc, "%02X", unsigned(Crc8Maxim("123402QQ")));
  EXPECT_EQ(device_.Receive(13), "~123402QQ" + std::string(crc) + "\r\n");
  EXPECT_EQ(line_.EventMark, "none");
  Receive("~123420");  // after the exchange frames are ignored
  EXPECT_EQ(device_.Receive(1, 50), "");
  // "+++" alone after a silence, then the hang-up after another.
  clock_.Advance(kEscapeGuardMs - 1);
  DataCallEscapeStep(line_, ctx_);
  EXPECT_EQ(device_.Receive(1, 50), "");
  clock_.Advance(1);
  DataCallEscapeStep(line_, ctx_);
  EXPECT_EQ(device_.Receive(3), "+++");
  DataCallEscapeStep(line_, ctx_);
  clock_.Advance(kEscapeGuardMs);
  DataCallEscapeStep(line_, ctx_);
  EXPECT_EQ(device_.Receive(5), "ATH\r\n");
  // The line is taken until the modem has had time to report the hang-up;
  // a modem that reports nothing still frees it.
  line_.Started = true;
  clock_.Advance(kHangupSettleMs - 1);
  DataCallEscapeStep(line_, ctx_);
  EXPECT_FALSE(DataCallLineFree(line_));
  clock_.Advance(1);
  DataCallEscapeStep(line_, ctx_);
  EXPECT_TRUE(DataCallLineFree(line_));
  EXPECT_EQ(line_.CallState, "IDLE");
}

TEST_F(DataCallTest, RequestThatEndsEarlyIsReportedOnceWhicheverWayItEnds) {
  struct Case {
    const char* mark;
    const char* text;  // nullptr: the initialisation cycle takes the line back
    const char* notice;
  } cases[] = {
      {"refresh", "BUSY", "S1;+79005556677;GSM Selva;SELVA_REFRESH_ERROR|"},
      {"refresh", "NO CARRIER", "S1;+79005556677;GSM Selva;SELVA_REFRESH_ERROR|"},
      {"reload", "^CEND:1,0,104,16", "S1;+79005556677;GSM Selva;SELVA_RELOAD_ERRORR|"},
      {"reload", "NO ANSWER", "S1;+79005556677;GSM Selva;SELVA_RELOAD_ERRORR|"},
      {"refresh", "NO DIALTONE", "S1;+79005556677;GSM Selva;SELVA_REFRESH_ERROR|"},
      {"refresh", "ERROR", "S1;+79005556677;GSM Selva;SELVA_REFRESH_ERROR|"},
      {"reload", nullptr, "S1;+79005556677;GSM Selva;SELVA_RELOAD_ERRORR|"},
      {"event", "NO CARRIER", nullptr},
      {"none", "NO CARRIER", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "poll");
    notices_.Clear();
    line_.EventMark = c.mark;
    line_.DialTarget = "+79005556677";
    line_.CallState = "IDLE";  // plain result codes never leave it
    if (c.text) {
      Receive(c.text);
      Receive(c.text);  // a second end says nothing more
    } else {
      line_.PollTick = clock_.TickCount() - kDataCallHoldMs;
      InitCycle(line_, clock_);
    }
    EXPECT_EQ(notices_.Snapshot(),
              c.notice ? std::vector<std::string>{c.notice} : std::vector<std::string>{});
    EXPECT_EQ(line_.EventMark, "none");
  }
}

// Found by fuzzing: a "+CMTI:" text inside the call made the initialisation
// command due at once, which gave the request up (error notice) while the
// exchange went on to report its result as well.
TEST_F(DataCallTest, RequestInsideItsCallHasOneOutcome) {
  struct Case {
    const char* during;  // text received once the exchange has begun
    uint32_t wait;       // time before the initialisation cycle runs
    const char* notice;
  } cases[] = {
      {"+CMTI: \"SM\",1", 0, "S1;+79005556677;GSM Selva;~123410;SELVA_RES|"},
      {"OK", kDataCallHoldMs + kAlivePollMs, "S1;+79005556677;GSM Selva;SELVA_REFRESH_ERROR|"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.during);
    notices_.Clear();
    line_.DialTarget = "+79005556677";
    line_.PollTick = clock_.TickCount();
    Connect("refresh");
    Receive("~123475123456");
    Receive("~123475123456");
    Receive(c.during);
    clock_.Advance(c.wait);
    InitCycle(line_, clock_);
    Receive("~123410");  // the closing frame
    EXPECT_EQ(notices_.Snapshot(), std::vector<std::string>{c.notice});
    EXPECT_EQ(line_.DataCallStep, -1);
    line_.EscapeStage = 0;
  }
}

// The panel's frame is one field of the client's notice: its separators and
// control bytes may not add fields or key words of their own.
TEST_F(DataCallTest, PanelFrameCannotSplitTheResultNotice) {
  Connect("event");
  Receive("~123410");
  Receive("~123420");
  Receive(
      "~1234;CRING|\x7F"
      "10");
  EXPECT_EQ(notices_.Snapshot(),
            std::vector<std::string>{"S1;+79001112233;GSM Selva;~1234_CRING__10;SELVA_RES|"});
}

// Found by fuzzing: a panel calling in while a request waited for its own
// call took the request's mark, so its client heard nothing at all.
TEST_F(DataCallTest, IncomingCallEndsAWaitingRequestWithItsErrorNotice) {
  line_.DialTarget = "+79005556677";
  line_.EventMark = "reload";
  Receive("+CLIP: \"89001112233\",129");
  Receive("+CLIP: \"89001112233\",129");  // still one error notice
  EXPECT_EQ(notices_.Snapshot(),
            (std::vector<std::string>{"S1;+79005556677;GSM Selva;SELVA_RELOAD_ERRORR|",
                                      "S1;+79001112233;GSM Selva;0;CRING;",
                                      "S1;+79001112233;GSM Selva;0;CRING;"}));
  EXPECT_EQ(line_.EventMark, "event");
}

}  // namespace
}  // namespace quell
