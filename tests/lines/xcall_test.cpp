// Caller-identification logic: the caller number, the key by call length,
// and the result word and notice of every kind of call end.
#include <gtest/gtest.h>

#include "lines/xcall.h"
#include "tests/support/fake_clock.h"

namespace quell {
namespace {

class XcallTest : public ::testing::Test {
 protected:
  XcallTest() {
    line_.LineName = "L1";
    line_.LineType = "GSM XCALL";
    line_.NoticeQueue = &notices_;
    ctx_.clock = &clock_;
    ctx_.trace = &trace_;
  }

  TLineGSM line_;
  NoticeList notices_;
  TraceView trace_;
  test::FakeClock clock_;
  LineContext ctx_;
};

TEST_F(XcallTest, CallerNumberComesFromTheNumberFieldOnly) {
  struct Case {
    const char* text;
    const char* caller;  // nullptr: no number
  } cases[] = {
      {"+CLIP: \"89001112233\",129,,,,0", "+79001112233"},
      {"+CLIP: \"+79001112233\",145,,,,0", "+79001112233"},
      {"+CLIP: 89001112233,129", "+79001112233"},
      {"+CLIP: \"+7900\",145", "+7900"},
      {"+CLIP: \"\",128,,,,0", nullptr},  // withheld: the 8 of the type is no number
      {"+CLIP: \"123456\",129", nullptr},
      {"+CLIP: \"+49307654321\",145", "+7654321"},  // first 7 when no 8 comes before it
      // Found by fuzzing: the number ends at its first non-digit, so no ";" or
      // "|" reaches the notice's fields.
      {"+CLIP: \"+7900;11|2233\",145", "+7900"},
      {"+CLIP: \"7\x16\",145", "+7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ExtractCaller(line_, c.text), c.caller != nullptr);
    EXPECT_EQ(line_.CallerNumber, c.caller ? c.caller : "");
  }
}

TEST_F(XcallTest, IncomingCallAnnouncesANumberAndMarksTheLineEitherWay) {
  line_.Mode = 2;
  IncomingCall(line_, "+CLIP: \"\",128,,,,0", ctx_);
  EXPECT_TRUE(notices_.Empty());
  EXPECT_EQ(line_.EventMark, "event");
  IncomingCall(line_, "+CLIP: \"89001112233\",129,,,,0", ctx_);
  EXPECT_EQ(notices_.Snapshot(), std::vector<std::string>{"L1;+79001112233;GSM XCALL;2;CRING;"});
}

TEST_F(XcallTest, KeyFollowsTheCallLengthAtEachBoundary) {
  line_.KeyNames = {"K1", "K2", "K3", "K4"};
  line_.AnswerTick = 0xFFFFF000;  // across the tick wrap
  const std::pair<uint32_t, const char*> cases[] = {
      {0, "K1"},    {2999, "K1"}, {3000, "K2"},  {5999, "K2"},     {6000, "K3"},
      {8999, "K3"}, {9000, "K4"}, {11999, "K4"}, {12000, "KEY_0"}, {600000, "KEY_0"},
  };
  for (const auto& [ms, key] : cases) {
    line_.HangupTick = line_.AnswerTick + ms;
    EXPECT_EQ(KeyByDuration(line_), key) << ms;
  }
}

TEST_F(XcallTest, ResultNoticeFormsByKindOfCall) {
  line_.CallerNumber = "+79001112233";
  line_.DialTarget = "+79005556677";
  line_.AnswerTick = 0;
  line_.HangupTick = 4000;
  struct Case {
    int mode, kind;
    const char* consoleRef;
    const char* code1;
    const char* notice;  // nullptr: none
  } cases[] = {
      {0, 1, "FALSE", "", "L1;+79001112233;XCALL_KEY_02;FALSE;CID|;"},
      {1, 1, "57", "E130", "L1;+79001112233;XCALL_KEY_02;57;CIDE130|;"},
      {3, 1, "57", "E130", "L1;+79001112233;XCALL_GUARD_ON;57;|"},
      {2, 2, "57", "E130", "L1;+79005556677;XCALL_MONITOR_YES;|"},
      {2, 0, "57", "E130", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    notices_.Clear();
    line_.Mode = c.mode;
    line_.LastCallKind = c.kind;
    line_.ConsoleRef = c.consoleRef;
    line_.KeyCodes[0] = c.code1;
    line_.CallState = "ACTIVE";
    XcallEvent(line_, 1, ctx_);
    EXPECT_EQ(line_.CallState, "IDLE");
    EXPECT_EQ(line_.PrevCallState, "IDLE");
    if (c.notice)
      EXPECT_EQ(notices_.Snapshot(), std::vector<std::string>{c.notice});
    else
      EXPECT_TRUE(notices_.Empty());
  }
}

}  // namespace
}  // namespace quell
