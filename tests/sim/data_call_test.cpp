#include <gtest/gtest.h>

#include "sim/modem/sim_modem_port.h"
#include "sim/panel/panel_frames.h"
#include "sim/panel/sim_panel.h"
#include "tests/sim/modem_fixture.h"

namespace quell::sim::test {
namespace {

const std::string kConnect = Framed({"CONNECT 9600"});
const std::string kOk = Framed({"OK"});

std::string Reply(const std::string& payload) {
  return ReplyText("1234", payload, false) + "\r\n";
}

// A modem with a panel on its data calls, on the fixture's tick.
struct PanelUnderTest : ModemUnderTest {
  explicit PanelUnderTest(PanelOptions options = {}, ModemOptions modemOptions = Quiet())
      : ModemUnderTest(std::move(modemOptions)), panel(AttachPanel(modem, std::move(options))) {}
  // Dials the panel; returns what came until the connection.
  std::string Dial() {
    std::string got = Command("ATD5551234");
    return got + Advance(modem.Options().dialDelayMs);
  }
  const PanelCall& Call() const { return *panel.LastCall(); }

  SimPanel& panel;
};

PanelOptions Silent() {  // a panel that sends nothing and never gives up
  PanelOptions options;
  options.frameGapMs = 1000000;
  options.replyTimeoutMs = 1000000;
  return options;
}

TEST(DataCall, ThreeFramesThenEscapeWithGuardTimeAndHangup) {
  uint32_t now = 0;
  SimModemPort port(ModemOptions{}, [&] { return now; });  // echo on, as after ATE1
  SimPanel* panel = port.With([](SimModem& m) { return &AttachPanel(m, PanelOptions{}); });
  auto read = [&] {
    std::string got;
    uint8_t byte = 0;
    while (port.ReadByte(byte) == 1) got += char(byte);
    return got;
  };
  port.Write("ATD5551234\r\n");
  EXPECT_EQ(read(), "ATD5551234\r");
  now += 1999;
  EXPECT_EQ(read(), "");
  now += 1;
  EXPECT_EQ(read(), kConnect);
  const std::pair<const char*, std::string> script[] = {
      {"~123410\r\n", "ABCDEF"}, {"~123420\r\n", "OK"}, {"~123430\r\n", ""}};
  for (const auto& [frame, payload] : script) {
    now += 199;
    EXPECT_EQ(read(), "");
    now += 1;
    EXPECT_EQ(read(), frame);
    port.Write(Reply(payload));
    EXPECT_EQ(read(), "");  // data is not echoed
  }
  now += 1000;
  port.Write("+++");
  now += 999;
  EXPECT_EQ(read(), "");
  now += 1;
  EXPECT_EQ(read(), kOk);
  port.Write("ATH\r\n");
  EXPECT_EQ(read(), "ATH\r" + Framed({"OK", "^CEND:1,2,104,16"}));

  const PanelCall call = port.With([&](SimModem&) { return *panel->LastCall(); });
  EXPECT_EQ(call.replies, (std::vector<std::string>{"~1234ABCDEF55", ReplyText("1234", "OK", false),
                                                    ReplyText("1234", "", false)}));
  EXPECT_EQ(call.framesSent, 3);
  EXPECT_EQ(call.badCrc + call.badAccount, 0);
  EXPECT_EQ(call.closingReplies, 1);
  EXPECT_TRUE(call.escapeWithGuard);
  EXPECT_TRUE(call.hangupSeen);
  EXPECT_TRUE(call.EndedProperly());
  EXPECT_EQ(port.With([&](SimModem&) { return panel->Log()[3]; }), "reply 1 ~1234ABCDEF55 crc ok");
}

TEST(DataCall, EscapeNeedsTheGuardTimeOnBothSides) {
  struct Step {
    uint32_t advanceMs;
    std::string bytes;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    bool escaped;
  };
  const Case cases[] = {
      {"silence both sides", {{1000, "+++"}, {1000, ""}}, true},
      {"999 ms after", {{1000, "+++"}, {999, ""}}, false},
      {"999 ms before", {{999, "+++"}, {1000, ""}}, false},
      {"999 ms after other data", {{5000, "x"}, {999, "+++"}, {1000, ""}}, false},
      {"split over writes", {{1000, "+"}, {10, "++"}, {1000, ""}}, true},
      {"a fourth plus", {{1000, "++++"}, {1000, ""}}, false},
      {"data within the silence after", {{1000, "+++"}, {500, "x"}, {1000, ""}}, false},
      {"one burst with ATH", {{1000, "+++\r\nATH\r\n"}, {1000, ""}}, false},
      {"ATH written after the silence", {{1000, "+++"}, {1000, "ATH\r"}}, true},
  };
  for (const Case& c : cases) {
    PanelUnderTest t(Silent());
    ASSERT_EQ(t.Dial(), kConnect);
    for (const Step& step : c.steps) {
      t.now += step.advanceMs;
      t.modem.Feed(step.bytes);  // an escape then due comes before these bytes
    }
    t.modem.Poll();
    EXPECT_EQ(t.Call().escapeWithGuard, c.escaped) << c.name;
    EXPECT_EQ(t.modem.Phase() == CallPhase::Active, t.modem.IsDataCall()) << c.name;
  }
}

TEST(DataCall, UnguardedEscapeReachesThePanelWhichHangsUpUnanswered) {
  PanelUnderTest t;
  t.Dial();
  for (const char* payload : {"A", "B"}) {
    t.Advance(200);
    t.modem.Feed(Reply(payload));
  }
  EXPECT_EQ(t.Advance(200), "~123430\r\n");
  t.now += 5000;
  t.modem.Feed("+++\r\nATH\r\n");
  EXPECT_EQ(t.modem.TakeOutput(), "");
  EXPECT_TRUE(t.modem.InDataMode());
  EXPECT_EQ(t.Call().ignored, (std::vector<std::string>{"+++", "ATH"}));
  EXPECT_TRUE(t.Call().escapeWithoutGuard);
  EXPECT_EQ(t.Advance(4999), "");  // the reply timeout runs from the closing frame
  EXPECT_EQ(t.Advance(1), Framed({"^CEND:1,10,104,16", "NO CARRIER"}));
  EXPECT_TRUE(t.Call().timedOut);
  EXPECT_FALSE(t.Call().hangupSeen);
  EXPECT_FALSE(t.Call().EndedProperly());
  EXPECT_EQ(t.Command("AT"), kOk);  // back in command mode
}

TEST(DataCall, PanelHangsUpAfterDropAfterReplies) {
  PanelOptions options;
  options.dropAfter = 2;
  PanelUnderTest t(options);
  t.Dial();
  t.Advance(200);
  t.modem.Feed("~1234ABCDEF56\r\n");  // bad crc still counts
  EXPECT_EQ(t.Advance(200), "~123420\r\n");
  t.modem.Feed(Reply("X"));
  EXPECT_EQ(t.modem.TakeOutput(), Framed({"^CEND:1,0,104,16", "NO CARRIER"}));
  EXPECT_EQ(t.Call().replyCount, 2);
  EXPECT_EQ(t.Call().badCrc, 1);
  EXPECT_TRUE(t.Call().panelHungUp);
  EXPECT_FALSE(t.Call().closingSent);
  EXPECT_EQ(t.modem.Phase(), CallPhase::Idle);
  EXPECT_EQ(t.Command("AT"), kOk);
  EXPECT_EQ(t.Advance(20000), "");
}

TEST(DataCall, DialOutcomes) {
  using O = DataDialOutcome;
  const std::pair<O, std::string> cases[] = {
      {O::Answer, "CONNECT 9600"},    {O::Busy, "BUSY"},
      {O::NoAnswer, "NO ANSWER"},     {O::NoCarrier, "NO CARRIER"},
      {O::NoDialtone, "NO DIALTONE"},
  };
  for (const auto& [outcome, text] : cases) {
    PanelOptions options;
    options.dialOutcome = outcome;
    PanelUnderTest t(options);
    EXPECT_EQ(t.Command("ATD5551234"), "");
    EXPECT_EQ(t.Command("ATD5551234"), Framed({"ERROR"}));  // one call at a time
    EXPECT_EQ(t.Advance(1999), "");
    EXPECT_EQ(t.Advance(1), Framed({text}));
    EXPECT_EQ(t.modem.InDataMode(), outcome == O::Answer) << text;
  }
  PanelOptions error;
  error.dialOutcome = O::Error;
  PanelUnderTest t(error);
  EXPECT_EQ(t.Command("ATD5551234"), Framed({"ERROR"}));
  EXPECT_EQ(t.modem.Phase(), CallPhase::Idle);
}

TEST(DataCall, PanelCallIsAnsweredAtTheSetRing) {
  struct Case {
    const char* setup;  // command before the call
    bool autoAnswer;
    bool data;
    int answerRing;  // 0: rings until the caller gives up
  };
  const Case cases[] = {
      {"ATS0=1", false, true, 1}, {"ATV1Q0E1S0=3", false, true, 3},
      {"ATS0=0", false, true, 0}, {"AT", true, true, 1},
      {"ATS0=2", true, true, 2},  {"ATS0=2", false, false, 0},  // voice waits for ATA
  };
  for (const Case& c : cases) {
    ModemOptions modemOptions = ModemUnderTest::Quiet();
    modemOptions.autoAnswerData = c.autoAnswer;
    modemOptions.ringCount = 4;
    PanelUnderTest t(PanelOptions{}, modemOptions);
    t.Command(c.setup);
    c.data ? t.panel.CallIn("+79001112233") : t.modem.IncomingCall("+79001112233");
    const std::string ring = Framed({"RING", "+CLIP: \"+79001112233\",145,,,,0"});
    std::string got = t.modem.TakeOutput();
    for (int n = 1; n <= 4; ++n) {
      const bool answer = n == c.answerRing;
      EXPECT_EQ(got, ring + (answer ? kConnect : "")) << c.setup << " ring " << n;
      if (answer) break;
      got = t.Advance(3000);
    }
    if (c.answerRing == 0) continue;
    EXPECT_EQ(t.Advance(200), "~123410\r\n") << c.setup;
    EXPECT_FALSE(t.Call().gatewayDialled);
  }
}

TEST(DataCall, AtoReturnsToDataMode) {
  PanelUnderTest t;
  t.Dial();
  EXPECT_EQ(t.Advance(200), "~123410\r\n");
  t.now += 1000;
  t.modem.Feed("+++");
  EXPECT_EQ(t.Advance(1000), kOk);
  EXPECT_EQ(t.Command("ATO"), kConnect);
  t.modem.Feed(Reply("A"));
  EXPECT_EQ(t.Advance(200), "~123420\r\n");
}

}  // namespace
}  // namespace quell::sim::test
