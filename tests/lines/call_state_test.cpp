// Call-state tracking across the modem families, and the service notices.
#include <gtest/gtest.h>

#include "lines/call_state.h"
#include "tests/support/fakes.h"

namespace quell {
namespace {

class CallStateTest : public ::testing::Test {
 protected:
  CallStateTest() {
    line_.LineName = "L1";
    line_.LineType = "GSM Selva";
    line_.NoticeQueue = &notices_;
    ctx_.trace = &trace_;
    ctx_.sound = &sound_;
  }
  bool Update(const std::string& text) { return CallStateUpdate(line_, text, ctx_); }

  TLineGSM line_;
  NoticeList notices_;
  TraceView trace_;
  test::CountingSound sound_;
  LineContext ctx_;
};

TEST_F(CallStateTest, EachFamilysCodesMoveTheCallState) {
  struct Case {
    const char* before;
    const char* text;
    bool recognised;
    const char* after;
    int callEnds;
  } cases[] = {
      {"IDLE", "RING", true, "RING", 0},
      {"IDLE", "+CRING: VOICE", true, "RING", 0},
      {"ALERT", "BUSY", true, "BUSY", 1},
      {"ACTIVE", "NO CARRIER", true, "IDLE", 1},
      {"ALERT", "*ECAV: 1,3,1", true, "ACTIVE", 0},
      {"ACTIVE", "*ECAV: 1,0,1", true, "IDLE", 1},
      {"ALERT", "*ECAV: 1,7,1", true, "BUSY", 1},
      {"IDLE", "*ECAV: 1,6,1", true, "RING", 0},
      {"DIALLING", "*ECAV: 1,2,1", true, "ALERT", 0},
      {"ACTIVE", "*ECAV: 2,3,1", false, "ACTIVE", 0},  // call 2 is not followed
      {"ACTIVE", "+WIND: 7", true, "ACTIVE", 1},
      {"IDLE", "+WIND: 5,1", true, "DIALLING", 0},
      {"DIALLING", "+WIND: 2", true, "REMOTE_PART_RNG", 0},
      {"ACTIVE", "+WIND: 6,1", true, "IDLE", 1},
      {"IDLE", "+WIND: 8", true, "IDLE_NO_NETWORK", 1},
      {"RING", "+WIND: 9", true, "ACTIVE", 0},
      {"REMOTE_PART_RNG", "+WIND: 9", false, "REMOTE_PART_RNG", 0},
      {"IDLE", "+WIND: 1", false, "IDLE", 0},
      {"IDLE", "^ORIG:1,0", true, "DIALLING", 0},
      {"DIALLING", "^CONN:1,0", true, "ACTIVE", 0},
      {"DIALLING", "^CEND:1,0,104,17", true, "BUSY", 1},
      {"ACTIVE", "^CEND:1,5,104,16", true, "IDLE", 1},
      {"IDLE", "AT+CLIP=1", false, "IDLE", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    line_.CallState = c.before;
    line_.PrevCallState = "IDLE";
    line_.EventMark = "refresh";  // a call end tells the client its request failed
    notices_.Clear();
    EXPECT_EQ(Update(c.text), c.recognised);
    EXPECT_EQ(line_.CallState, c.after);
    if (std::string(c.after) != c.before) {
      EXPECT_EQ(line_.PrevCallState, c.before);
    }
    EXPECT_EQ(notices_.Size(), size_t(c.callEnds));
    EXPECT_EQ(line_.EventMark, c.callEnds ? "none" : "refresh");
  }
}

TEST_F(CallStateTest, WindHistoryTakesARepeatedTextOnceAndRingsToo) {
  Update("+WIND: 5,1");
  Update("+WIND: 5,1");
  Update("RING");
  EXPECT_EQ(line_.WindHistory, (std::array<std::string, 3>{"", "+WIND: 5,1", "RING"}));
  EXPECT_EQ(trace_.Lines().front(), ":msstate:  +WIND: 5,1");
}

TEST_F(CallStateTest, SignalLossAndReturnAreAnnouncedOnceEach) {
  Update("^RSSI:20");  // in service already: nothing to say
  EXPECT_EQ(line_.SignalLevel, 20);
  Update("^RSSI:99");
  Update("^RSSI:99");
  EXPECT_EQ(line_.SignalLevel, 99);
  Update("^RSSI: 20");
  Update("^RSSI:xx");  // malformed level: kept, but counts as in service
  EXPECT_EQ(line_.SignalLevel, 20);
  EXPECT_EQ(notices_.Snapshot(), (std::vector<std::string>{"QUELL_LINE_STATUS&L1&SERVICE_OFF",
                                                           "QUELL_LINE_STATUS&L1&SERVICE_ON"}));
  EXPECT_EQ(sound_.plays, 1);
  Update("^SRVST:0");
  Update("^SRVST:x");  // not a number: status kept
  EXPECT_EQ(line_.ServiceStatus, 0);
  Update("^SRVST:2");
  EXPECT_EQ(notices_.Size(), 4u);
  EXPECT_EQ(sound_.plays, 2);
}

}  // namespace
}  // namespace quell
