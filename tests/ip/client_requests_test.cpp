// The Wardex client's requests against a list of lines whose modems are
// simulated: which line is chosen, what its modem is sent, what is replied.
#include <gtest/gtest.h>

#include "ip/client_requests.h"
#include "lines/modem_engine.h"
#include "sim/modem/sim_modem_port.h"
#include "tests/support/fake_clock.h"

namespace quell {
namespace {

struct NewLine {
  const char* name;
  const char* type;
  int mode;
  bool alive;
  const char* callState;
};

class ClientRequestsTest : public ::testing::Test {
 protected:
  void AddLines(std::initializer_list<NewLine> lines) {
    for (const NewLine& s : lines) {
      auto line = std::make_unique<TLineGSM>();
      line->LineName = s.name;
      line->LineType = s.type;
      line->Mode = s.mode;
      line->Alive = s.alive;
      line->CallState = s.callState;
      auto port = std::make_shared<sim::SimModemPort>(sim::ModemOptions{},
                                                      [this] { return clock_.TickCount(); });
      ports_.push_back(port);
      line->PortHandle = port;
      lines_.Add(s.name, std::move(line));
    }
  }
  // Replies to request r, joined.
  std::string Ask(const std::string& r) {
    std::string replies;
    requests_.Handle(r, [&](const std::string& text) { replies += text; });
    return replies;
  }
  // Commands each line's modem received since the last call, joined by "|"
  // per line and "," between lines.
  std::string Sent() {
    std::string all;
    marks_.resize(ports_.size());
    for (size_t i = 0; i < ports_.size(); ++i) {
      const auto& commands = ports_[i]->Modem().Commands();
      std::string one;
      for (size_t k = marks_[i]; k < commands.size(); ++k)
        one += (one.empty() ? "" : "|") + commands[k];
      marks_[i] = commands.size();
      all += (i ? "," : "") + one;
    }
    return all;
  }

  test::FakeClock clock_;
  LineList lines_;
  TraceView trace_;
  ClientRequests requests_{lines_, trace_, clock_};
  std::vector<std::shared_ptr<sim::SimModemPort>> ports_;
  std::vector<size_t> marks_;
};

TEST_F(ClientRequestsTest, RequestsPickTheirLineAndReplyAsTheyShould) {
  struct Case {
    const char* request;
    const char* reply;
    const char* sent;  // per line: L1 mode 1, L2 mode 3, M1..M3 mode 2 (M3 alive and idle), S1
  } cases[] = {
      {"+79001112233;xcall_object_control", "", "ATD+79001112233;,,,,,"},
      {"+79001112233;xcall_object_state", "", ",ATD+79001112233;,,,,"},
      {"*100#;xcall_object_monitor", "*100#;xcall_object_monitor;XCALLM_LINE|", ",,,,ATD*100#;,"},
      {"L1;ATA;K7", "", "ATA,,,,,"},
      {"L2;ATH;", "", ",ATH,,,,"},
      {"L9;ATA;K7", "", ",,,,,"},
      {"L1;selva_object_x", "L1;selva_object_x;SELVA_LINE_BUSY|", ",,,,,"},
      // Targets that could carry commands or dial nothing are refused.
      {"123\r\nATD999;xcall_object_control",
       "123\r\nATD999;xcall_object_control;XCALL1_LINE_ABSENT|", ",,,,,"},
      {";xcall_object_state", ";xcall_object_state;XCALL4_LINE_ABSENT|", ",,,,,"},
      {"12a;xcall_object_monitor", "12a;xcall_object_monitor;XCALLM_LINE_ABSENT|", ",,,,,"},
  };
  AddLines({{"L1", "GSM XCALL", 1, true, "IDLE"},
            {"L2", "GSM XCALL", 3, true, "IDLE"},
            {"M1", "GSM XCALL", 2, false, "IDLE"},
            {"M2", "GSM XCALL", 2, false, "IDLE"},
            {"M3", "GSM XCALL", 2, true, "IDLE"},
            {"S1", "GSM Selva", 0, true, "IDLE"}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    EXPECT_EQ(Ask(c.request), c.reply);
    EXPECT_EQ(Sent(), c.sent);
  }
  EXPECT_EQ(lines_.At(0).Line->ConsoleRef, "K7");
  EXPECT_EQ(lines_.At(4).Line->DialTarget, "*100#");
  EXPECT_EQ(lines_.At(0).Line->LastCallKind, 1);  // the answer came after the dial
}

TEST_F(ClientRequestsTest, MissingOrBusyLinesAreReported) {
  EXPECT_EQ(Ask("1;xcall_object_monitor"), "1;xcall_object_monitor;XCALLM_LINE_ABSENT|");
  AddLines({{"M1", "GSM XCALL", 2, true, "ACTIVE"}, {"V1", "VORTI", 0, true, "RING"}});
  EXPECT_EQ(Ask("1;xcall_object_monitor"), "1;xcall_object_monitor;XCALLM_LINE_ALLBUSY|");
  lines_.At(0).Line->Alive = false;
  // The state text is that of the last line walked.
  EXPECT_EQ(Ask("1;xcall_object_monitor"), "1;xcall_object_monitor;XCALLM_LINE_ABSENT|RING");
  // A failed control step ends the request: the monitor step does not run.
  EXPECT_EQ(Ask("1;xcall_object_control;xcall_object_monitor"),
            "1;xcall_object_control;xcall_object_monitor;XCALL1_LINE_ABSENT|");
  EXPECT_EQ(Sent(), ",");
}

}  // namespace
}  // namespace quell
