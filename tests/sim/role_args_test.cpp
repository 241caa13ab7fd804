#include <gtest/gtest.h>

#include "sim/console/console_args.h"
#include "sim/dc09/dc09_args.h"
#include "sim/ip/ip_args.h"

namespace quell::sim {
namespace {

QStringList Words(std::string_view line) {
  return QString::fromUtf8(line.data(), qsizetype(line.size())).split(u' ', Qt::SkipEmptyParts);
}

TEST(RoleArgs, HostAndPort) {
  const struct {
    std::string_view text;
    std::string host;  // empty: refused
    uint16_t port;
  } cases[] = {
      {"8005", "127.0.0.1", 8005},
      {"10.0.0.5:8097", "10.0.0.5", 8097},
      {"[::1]:8005", "::1", 8005},
      {"gateway:1", "gateway", 1},
      {"0", "", 0},
      {"65536", "", 0},
      {":8005", "", 0},
      {"host:", "", 0},
      {"8005x", "", 0},
  };
  for (const auto& c : cases) {
    std::string error;
    const std::optional<HostPort> got = ParseHostPort(c.text, "127.0.0.1", &error);
    EXPECT_EQ(got.has_value(), !c.host.empty()) << c.text << ": " << error;
    if (got) {
      EXPECT_EQ(std::pair(got->host, got->port), std::pair(c.host, c.port)) << c.text;
    }
  }
}

TEST(RoleArgs, RefusesBadOptions) {
  const std::pair<std::string_view, const char*> dc09[] = {
      {"--event 2130", "--event wants a qualifier"},
      {"--account 12-3", "--account wants 1 to 16 letters or digits"},
      {"--account 0123456789ABCDEFG", "--account wants 1 to 16 letters or digits"},
      {"--crc hexcr", "--crc wants hex, raw, hex-cr or raw-cr"},
      {"--repeat-seq 0", "--repeat-seq"},
      {"--sia-data A]B", "--sia-data wants"},
      {"--line L1234567", "--line wants 0 to 6 hex digits"},
      {"--no-line --line 1", "--no-line and --line exclude each other"},
      {"--zone 1000", "--zone wants a whole number from 0 to 999"},
      {"--rate 0", "--rate wants"},
      {"--window 0", "--window wants"},
      {"--window 8 --rate 100", "exclude each other"},
      {"1 2", "at most one"},
  };
  for (const auto& [line, message] : dc09) {
    std::string error;
    EXPECT_FALSE(ParseDc09Args(Words(line), &error)) << line;
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
  const std::pair<std::string_view, const char*> ip[] = {
      {"--modules 0", "--modules wants"},
      {"--rate 0", "--rate wants a whole number from 1"},
      {"--keepalive --account-base 9999 --modules 2", "goes past account 9999"},
  };
  for (const auto& [line, message] : ip) {
    std::string error;
    EXPECT_FALSE(ParseIpArgs(Words(line), &error)) << line;
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
  const std::pair<std::string_view, const char*> console[] = {
      {"", "give one PORT"},
      {"pty --format sia", "--format wants cid or ademco"},
      {"pty --silent-for 0", "--silent-for wants"},
  };
  for (const auto& [line, message] : console) {
    std::string error;
    EXPECT_FALSE(ParseConsoleArgs(Words(line), &error)) << line;
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
}

TEST(RoleArgs, OptionsReachTheRoles) {
  std::string error;
  auto dc09 = ParseDc09Args(Words("--line L3 --receiver r1f --event 3602 --rate 0.5"), &error);
  ASSERT_TRUE(dc09) << error;
  EXPECT_EQ(dc09->target.port, 8005);
  EXPECT_EQ(dc09->message.line, "3");
  EXPECT_EQ(dc09->message.receiver, "1F");
  EXPECT_EQ(dc09->rate, 0.5);
  EXPECT_EQ(dc09->window, 1u);
  dc09 = ParseDc09Args(Words("--count 1000 --window 64"), &error);
  ASSERT_TRUE(dc09) << error;
  EXPECT_EQ(dc09->window, 64u);
  auto console = ParseConsoleArgs(Words("pty --silent-after 0 --expect A --expect B"), &error);
  ASSERT_TRUE(console) << error;
  EXPECT_EQ(console->options.silentAfter, std::optional<uint32_t>(0));
  EXPECT_FALSE(console->options.silentForMs);
  EXPECT_EQ(console->expect, (std::vector<std::string>{"A", "B"}));
}

}  // namespace
}  // namespace quell::sim
