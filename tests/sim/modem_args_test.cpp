#include "sim/modem/modem_args.h"

#include <gtest/gtest.h>

namespace quell::sim::test {
namespace {

QStringList Args(std::initializer_list<const char*> words) {
  QStringList list;
  for (const char* w : words) list << QString::fromUtf8(w);
  return list;
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
