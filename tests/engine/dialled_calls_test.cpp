// Calls the station client orders on caller-identification lines, played
// through to their end by the simulated modem of each family.
#include <gtest/gtest.h>

#include "ip/client_requests.h"
#include "lines/modem_engine.h"
#include "sim/modem/sim_modem_port.h"
#include "tests/support/fake_clock.h"

namespace quell {
namespace {

using sim::CallFamily;
using Outcome = sim::ModemOptions::DialOutcome;

struct Case {
  CallFamily family;
  int mode;
  Outcome outcome;
  const char* word;  // nullptr: the call ends without a result
};

class DialledCallsTest : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    const Case& c = GetParam();
    auto line = std::make_unique<TLineGSM>();
    line->LineName = "CTRL";
    line->LineType = "GSM XCALL";
    line->Mode = c.mode;
    line->NoticeQueue = &notices_;
    sim::ModemOptions options;
    options.family = c.family;
    options.dialOutcome = c.outcome;
    port_ = std::make_shared<sim::SimModemPort>(options, [this] { return clock_.TickCount(); });
    line->PortHandle = port_;
    line_ = line.get();
    lines_.Add("CTRL", std::move(line));
    ctx_.clock = &clock_;
    ctx_.trace = &trace_;
    PrepareModemStart(*line_, clock_.TickCount());
    line_->Alive = true;
    ModemStep(*line_, ctx_);  // the first initialisation command and its OK
    ModemStep(*line_, ctx_);
  }

  test::FakeClock clock_;
  LineList lines_;
  TLineGSM* line_ = nullptr;
  NoticeList notices_;
  TraceView trace_;
  LineContext ctx_;
  ClientRequests requests_{lines_, trace_, clock_};
  std::shared_ptr<sim::SimModemPort> port_;
};

TEST_P(DialledCallsTest, CallEndsWithItsResultWordAndTheLineIdle) {
  const Case& c = GetParam();
  const char* kinds[] = {"", "xcall_object_control", "xcall_object_monitor", "xcall_object_state"};
  std::string replies;
  requests_.Handle(std::string("+79005556677;") + kinds[c.mode],
                   [&](const std::string& text) { replies += text; });
  for (int second = 0; second < 10 && notices_.Empty(); ++second) {
    clock_.Advance(1000);
    ModemStep(*line_, ctx_);
  }
  if (c.word) {
    ASSERT_FALSE(notices_.Empty());
    EXPECT_EQ(notices_.Snapshot().front(), std::string("CTRL;+79005556677;") + c.word + ";|");
    EXPECT_EQ(notices_.Entries().front().origin, NoticeOrigin::CallerIdDialledResult);
  } else {
    EXPECT_TRUE(notices_.Empty());
  }
  EXPECT_EQ(replies, c.mode == 2 ? "+79005556677;xcall_object_monitor;XCALLM_LINE|" : "");
  const auto& sent = port_->Modem().Commands();
  EXPECT_NE(std::find(sent.begin(), sent.end(), "ATD+79005556677;"), sent.end());
  // Answered and busy calls are hung up by the gateway.
  const bool hungUp = std::find(sent.begin(), sent.end(), "ATH") != sent.end();
  EXPECT_EQ(hungUp, c.word && c.outcome != Outcome::NoAnswer);
  EXPECT_EQ(line_->CallState, "IDLE");
}

INSTANTIATE_TEST_SUITE_P(
    FamiliesModesOutcomes, DialledCallsTest,
    ::testing::Values(Case{CallFamily::Caret, 1, Outcome::Answer, "XCALL_STATE_ON"},
                      Case{CallFamily::Caret, 1, Outcome::Busy, "XCALL_STATE_OFF"},
                      Case{CallFamily::Wind, 1, Outcome::Answer, "XCALL_STATE_ON"},
                      Case{CallFamily::Wind, 1, Outcome::NoAnswer, "XCALL_STATE_NOANSWER"},
                      Case{CallFamily::Caret, 1, Outcome::NoAnswer, nullptr},
                      Case{CallFamily::Ecav, 2, Outcome::Answer, "XCALL_MONITOR_YES"},
                      Case{CallFamily::Ecav, 2, Outcome::Busy, "XCALL_MONITOR_YES"},
                      Case{CallFamily::Wind, 2, Outcome::NoAnswer, "XCALL_MONITOR_NO"},
                      Case{CallFamily::Caret, 3, Outcome::Answer, "XCALL_COMMAND_YES"},
                      Case{CallFamily::Ecav, 3, Outcome::Busy, "XCALL_COMMAND_NO"},
                      Case{CallFamily::Wind, 3, Outcome::NoAnswer, "XCALL_STATE_NOANSWER"}));

}  // namespace
}  // namespace quell
