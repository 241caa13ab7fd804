#include "sim/panel/panel_args.h"

#include <gtest/gtest.h>

namespace quell::sim {
namespace {

// The words of line, split at blanks.
QStringList Args(const char* line) {
  return QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

TEST(PanelArgs, OptionsFillTheRun) {
  std::string error;
  auto args = ParsePanelArgs(
      Args("pty --account 0042 --codes 10,75 --extension ABCDEF --h --payload P1 --frame-gap 50 "
           "--reply-timeout 3000 --drop-after 1 --dial-outcome nodialtone --dial-delay 10 "
           "--call-in +7900 --call-in-delay 20 --auto-answer --family ecav --no-echo --com 9 "
           "--quiet"),
      &error);
  ASSERT_TRUE(args) << error;
  const PanelOptions& p = args->panel;
  EXPECT_EQ(p.account, "0042");
  EXPECT_EQ(p.codes, (std::vector<std::string>{"10", "75"}));
  EXPECT_EQ(p.extension, "ABCDEF");
  EXPECT_TRUE(p.h);
  EXPECT_EQ(p.payload, "P1");
  EXPECT_EQ(p.frameGapMs, 50u);
  EXPECT_EQ(p.replyTimeoutMs, 3000u);
  EXPECT_EQ(p.dropAfter, 1);
  EXPECT_EQ(p.dialOutcome, DataDialOutcome::NoDialtone);
  EXPECT_EQ(args->modem.dialDelayMs, 10u);
  EXPECT_EQ(args->callIn, "+7900");
  EXPECT_EQ(args->callInDelayMs, 20u);
  EXPECT_TRUE(args->modem.autoAnswerData);
  EXPECT_EQ(args->modem.family, CallFamily::Ecav);
  EXPECT_FALSE(args->modem.echo);
  EXPECT_EQ(args->com, 9);
  EXPECT_TRUE(args->quiet);
  EXPECT_TRUE(ParsePanelArgs(Args("-h"), &error)->help);
}

TEST(PanelArgs, RefusesBadArguments) {
  const std::pair<QStringList, const char*> cases[] = {
      {Args(""), "give one PORT"},
      {Args("pty --account 123"), "--account wants 4"},
      {Args("pty --account 12~4"), "--account wants 4"},
      {Args("pty --codes 10,2"), "--codes wants"},
      {Args("pty --codes 01,02,03,04,05,06,07,08,09,10"), "--codes wants"},
      {Args("pty --extension ABC"), "--extension wants"},
      {Args("pty --payload a~b"), "--payload wants"},
      {Args("pty --dial-outcome maybe"), "--dial-outcome wants"},
      {Args("pty --reply-timeout 0"), "--reply-timeout wants a whole number from 1"},
      {Args("pty --drop-after -1"), "--drop-after wants"},
  };
  for (const auto& [args, message] : cases) {
    std::string error;
    EXPECT_FALSE(ParsePanelArgs(args, &error)) << args.join(QLatin1Char(' ')).toStdString();
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace quell::sim
