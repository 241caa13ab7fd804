#include "sim/modem/modem_script.h"

#include <gtest/gtest.h>

#include "tests/sim/modem_fixture.h"

namespace quell::sim::test {
namespace {

using A = ModemStep::Action;

TEST(ModemScript, ParsesEveryAction) {
  const char* script =
      "# a night at the station\r\n"
      "\r\n"
      "0 signal 25\r\n"
      "  500 service 2\n"
      "1000 ring +79001112233\n"
      "1500 ring\n"
      "9000\thangup\n"
      "12000 sms +79001112233  ARM  zone 3 \n";
  std::string error;
  auto steps = ParseModemScript(script, &error);
  ASSERT_TRUE(steps) << error;
  EXPECT_EQ(*steps,
            (std::vector<ModemStep>{
                Step(0, A::Signal, "", "", 25), Step(500, A::Service, "", "", 2),
                Step(1000, A::Ring, "+79001112233"), Step(1500, A::Ring), Step(9000, A::Hangup),
                Step(12000, A::Sms, "+79001112233", "ARM  zone 3")}));
}

TEST(ModemScript, NamesTheFirstBadLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"100 rng +7", "line 1: unknown action \"rng\": 100 rng +7"},
      {"# ok\n\nring +7", "line 3: the line must start with a time in milliseconds: ring +7"},
      {"-5 hangup", "line 1: the line must start with a time in milliseconds: -5 hangup"},
      {"4294967296 hangup",
       "line 1: the line must start with a time in milliseconds: "
       "4294967296 hangup"},
      {"10 hangup\n20 signal 40", "line 2: signal wants 0..31 or 99: 20 signal 40"},
      {"10 service x", "line 1: service wants 0..4: 10 service x"},
      {"10 sms", "line 1: sms wants a sender and a body: 10 sms"},
      {"10 sms 8900", "line 1: sms wants a sender and a body: 10 sms 8900"},
      {"10 hangup now", "line 1: unexpected \"now\": 10 hangup now"},
      {"10 ring +7 +8", "line 1: unexpected \"+8\": 10 ring +7 +8"},
      {"10", "line 1: no action: 10"},
  };
  for (const auto& [script, message] : cases) {
    std::string error;
    EXPECT_FALSE(ParseModemScript(script, &error)) << script;
    EXPECT_EQ(error, message);
  }
}

TEST(ModemScript, StepsPlayOnTheModemAtTheirTimes) {
  ModemUnderTest m;
  ScheduleModemSteps(m.modem, {Step(1000, A::Ring, "+7900"), Step(0, A::Signal, "", "", 9),
                               Step(3500, A::Hangup)});
  EXPECT_EQ(m.Advance(0), Framed({"^RSSI:9"}));
  EXPECT_EQ(m.Advance(999), "");
  EXPECT_EQ(m.Advance(1), Framed({"RING", "+CLIP: \"+7900\",145,,,,0"}));
  EXPECT_EQ(m.Advance(2500), Framed({"^CEND:1,0,104,16", "NO CARRIER"}));
}

}  // namespace
}  // namespace quell::sim::test
