#include "sim/modem/modem_args.h"

#include <gtest/gtest.h>

#include "tests/sim/modem_fixture.h"

namespace quell::sim::test {
namespace {

using A = ModemStep::Action;

QStringList Args(std::initializer_list<const char*> words) {
  QStringList list;
  for (const char* w : words) list << QString::fromUtf8(w);
  return list;
}

TEST(ModemArgs, OptionsFillTheRun) {
  std::string error;
  auto args = ParseModemArgs(Args({"pty",
                                   "--family",
                                   "wind",
                                   "--no-echo",
                                   "--ring",
                                   "+7900",
                                   "--ring-delay",
                                   "500",
                                   "--ring-interval=1000",
                                   "--ring-count",
                                   "3",
                                   "--talk",
                                   "4000",
                                   "--dial-outcome",
                                   "noanswer",
                                   "--dial-delay",
                                   "10",
                                   "--remote-talk",
                                   "20",
                                   "--signal",
                                   "25",
                                   "--sms",
                                   "+7901 ARM 1",
                                   "--script",
                                   "s.txt",
                                   "--link",
                                   "/tmp/m",
                                   "--com",
                                   "8",
                                   "--quiet"}),
                             &error);
  ASSERT_TRUE(args) << error;
  const ModemOptions& o = args->options;
  EXPECT_EQ(args->port, "pty");
  EXPECT_EQ(o.family, CallFamily::Wind);
  EXPECT_FALSE(o.echo);
  EXPECT_EQ(o.ringIntervalMs, 1000u);
  EXPECT_EQ(o.ringCount, 3);
  EXPECT_EQ(o.talkMs, 4000u);
  EXPECT_EQ(o.dialOutcome, ModemOptions::DialOutcome::NoAnswer);
  EXPECT_EQ(o.dialDelayMs, 10u);
  EXPECT_EQ(o.remoteTalkMs, 20u);
  EXPECT_EQ(o.signal, 25);
  EXPECT_EQ(args->steps, (std::vector<ModemStep>{Step(0, A::Signal, "", "", 25),
                                                 Step(0, A::Sms, "+7901", "ARM 1"),
                                                 Step(500, A::Ring, "+7900")}));
  EXPECT_EQ(args->script, "s.txt");
  EXPECT_EQ(args->link, "/tmp/m");
  EXPECT_EQ(args->com, 8);
  EXPECT_TRUE(args->quiet);
}

TEST(ModemArgs, RefusesBadArguments) {
  const std::pair<QStringList, const char*> cases[] = {
      {Args({}), "give one PORT"},
      {Args({"pty", "/dev/ttyS0"}), "give one PORT"},
      {Args({"pty", "--bogus"}), "bogus"},
      {Args({"pty", "--family", "hayes"}), "--family wants caret, ecav or wind"},
      {Args({"pty", "--dial-outcome", "maybe"}), "--dial-outcome wants"},
      {Args({"pty", "--ring-count", "0"}), "--ring-count wants a whole number from 1"},
      {Args({"pty", "--talk", "-1"}), "--talk wants a whole number"},
      {Args({"pty", "--com", "x"}), "--com wants"},
      {Args({"pty", "--signal", "50"}), "--signal: signal wants 0..31 or 99"},
      {Args({"pty", "--sms", "+7900"}), "--sms: sms wants a sender and a body"},
      {Args({"pty", "--ring"}), "Missing value"},
  };
  for (const auto& [args, message] : cases) {
    std::string error;
    EXPECT_FALSE(ParseModemArgs(args, &error)) << args.join(QLatin1Char(' ')).toStdString();
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace quell::sim::test
