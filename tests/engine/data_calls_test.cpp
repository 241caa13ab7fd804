// Data calls between a data-call line and a simulated panel, stepped by
// hand with the test's clock: the client's request, the frame exchange, the
// outcome notice, and how the call is left.
#include <gtest/gtest.h>

#include "ip/client_requests.h"
#include "lines/call_state.h"
#include "lines/data_call.h"
#include "lines/modem_engine.h"
#include "sim/modem/sim_modem_port.h"
#include "sim/panel/sim_panel.h"
#include "tests/support/fake_clock.h"

namespace quell {
namespace {

using sim::DataDialOutcome;

class DataCallsTest : public ::testing::Test {
 protected:
  void Open(sim::PanelOptions panelOptions) {
    auto line = std::make_unique<TLineGSM>(clock_.TickCount());
    line->LineName = "S1";
    line->LineType = "GSM Selva";
    line->NoticeQueue = &notices_;
    line->Started = true;
    line->PortOpen = true;
    sim::ModemOptions options;
    options.autoAnswerData = true;
    port_ = std::make_shared<sim::SimModemPort>(options, [this] { return clock_.TickCount(); });
    panel_ = port_->With([&](sim::SimModem& m) { return &sim::AttachPanel(m, panelOptions); });
    line->PortHandle = port_;
    line_ = line.get();
    lines_.Add("S1", std::move(line));
    ctx_.clock = &clock_;
    ctx_.trace = &trace_;
    ctx_.panels = &panels_;
  }
  // Steps the line every 200 ms until the panel's next call has ended.
  const sim::PanelCall& RunCall() {
    auto endedCalls = [&] {
      return port_->With([&](sim::SimModem&) {
        const auto& calls = panel_->Calls();
        return std::count_if(calls.begin(), calls.end(), [](const auto& c) { return c.ended; });
      });
    };
    const auto before = endedCalls();
    for (int i = 0; i < 600 && endedCalls() == before; ++i) {
      clock_.Advance(200);
      ModemStep(*line_, ctx_);
    }
    for (int i = 0; i < 10; ++i) ModemStep(*line_, ctx_);  // the last reports
    return *panel_->LastCall();
  }
  std::string Ask(const std::string& r) {
    std::string replies;
    requests_.Handle(r, [&](const std::string& text) { replies += text; });
    return replies;
  }

  test::FakeClock clock_;
  LineList lines_;
  TLineGSM* line_ = nullptr;
  NoticeList notices_;
  TraceView trace_;
  std::vector<std::string> panels_ = {
      "refresh event ~921610#~0000ABCDEF00",
      "refresh event ~921620#~0000GH00",
      "refresh event close#~921602QQ00",
  };
  LineContext ctx_;
  ClientRequests requests_{lines_, trace_, clock_};
  std::shared_ptr<sim::SimModemPort> port_;
  sim::SimPanel* panel_ = nullptr;
};

TEST_F(DataCallsTest, RefreshRequestExchangesTwoRepliesReportsAndLeavesTheCallCleanly) {
  Open({});
  EXPECT_EQ(Ask("+79005556677;selva_object_refresh"), "");
  EXPECT_EQ(Ask("+79005556677;selva_object_refresh"),
            "+79005556677;selva_object_refresh;SELVA_LINE_BUSY|");  // the line is taken
  const sim::PanelCall& call = RunCall();
  EXPECT_TRUE(call.gatewayDialled);
  EXPECT_EQ(call.replyCount, 3);  // two replies and one closing reply
  EXPECT_EQ(call.closingReplies, 1);
  EXPECT_EQ(call.badCrc + call.badAccount, 0);
  EXPECT_TRUE(call.EndedProperly());
  EXPECT_TRUE(call.ignored.empty());
  EXPECT_EQ(notices_.Snapshot(),
            std::vector<std::string>{"S1;+79005556677;GSM Selva;~123430;SELVA_RES|"});
  EXPECT_EQ(line_->EventMark, "none");
}

TEST_F(DataCallsTest, PanelCallingInIsAnsweredAndNoCommandGoesIntoTheCall) {
  sim::PanelOptions options;
  options.h = true;
  options.frameGapMs = 15000;  // a slow panel keeps the call up past the poll interval
  options.replyTimeoutMs = 60000;
  Open(options);
  line_->Alive = true;
  port_->With([&](sim::SimModem&) {
    panel_->CallIn("+79001112233");
    return 0;
  });
  const sim::PanelCall& call = RunCall();
  EXPECT_FALSE(call.gatewayDialled);
  EXPECT_EQ(call.badCrc + call.badAccount, 0);
  EXPECT_TRUE(call.EndedProperly());
  EXPECT_TRUE(call.ignored.empty());  // no initialisation command reached the panel
  EXPECT_EQ(notices_.Snapshot(),
            (std::vector<std::string>{"S1;+79001112233;GSM Selva;0;CRING;",
                                      "S1;+79001112233;GSM Selva;~H123430;SELVA_RES|"}));
}

TEST_F(DataCallsTest, RequestRightAfterACallWaitsUntilThatCallHasSettled) {
  Open({});
  port_->With([&](sim::SimModem&) {
    panel_->CallIn("+79001112233");
    return 0;
  });
  ASSERT_TRUE(RunCall().EndedProperly());
  // The modem's reports of the call just left must not end the next request.
  EXPECT_EQ(Ask("+79005556677;selva_object_refresh"),
            "+79005556677;selva_object_refresh;SELVA_LINE_BUSY|");
  clock_.Advance(kHangupSettleMs);
  ModemStep(*line_, ctx_);
  notices_.Clear();
  EXPECT_EQ(Ask("+79005556677;selva_object_refresh"), "");
  EXPECT_TRUE(RunCall().EndedProperly());
  EXPECT_EQ(notices_.Snapshot(),
            std::vector<std::string>{"S1;+79005556677;GSM Selva;~123430;SELVA_RES|"});
}

TEST_F(DataCallsTest, RefreshWhoseCallEndsEarlyIsReportedOnce) {
  struct Case {
    const char* what;
    DataDialOutcome outcome;
    int dropAfter;
  } cases[] = {
      {"busy", DataDialOutcome::Busy, 0},
      {"no answer", DataDialOutcome::NoAnswer, 0},
      {"no carrier", DataDialOutcome::NoCarrier, 0},
      {"no dial tone", DataDialOutcome::NoDialtone, 0},
      {"error", DataDialOutcome::Error, 0},
      {"panel hangs up", DataDialOutcome::Answer, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    lines_.Clear();
    notices_.Clear();
    sim::PanelOptions options;
    options.dialOutcome = c.outcome;
    options.dropAfter = c.dropAfter;
    Open(options);
    Ask("+79005556677;selva_object_refresh");
    for (int i = 0; i < 100; ++i) {
      clock_.Advance(200);
      ModemStep(*line_, ctx_);
    }
    EXPECT_EQ(notices_.Snapshot(),
              std::vector<std::string>{"S1;+79005556677;GSM Selva;SELVA_REFRESH_ERROR|"});
    EXPECT_EQ(line_->EventMark, "none");
  }
}

TEST_F(DataCallsTest, RequestsThatMustNotDialAreRefused) {
  Open({});
  line_->Started = false;
  EXPECT_EQ(Ask("1;selva_object_refresh"), "1;selva_object_refresh;SELVA_LINE_BUSY|");
  line_->Started = true;
  for (const char* r :
       {"1;selva_object_other", "1\r\nATH;selva_object_reload", ";selva_object_reload"})
    EXPECT_EQ(Ask(r), std::string(r) + ";SELVA_LINE_BUSY|") << r;
  EXPECT_TRUE(port_->Modem().Commands().empty());
}

}  // namespace
}  // namespace quell
