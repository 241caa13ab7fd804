#include "sim/exchange_log.h"

#include <gtest/gtest.h>

namespace quell::sim {
namespace {

TEST(ExchangeLog, OneEntryPerLineWithControlBytesShown) {
  struct Case {
    std::vector<std::string> chunks;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {{"AT\r"}, {"<< AT\\r"}},
      {{"AT\r\n"}, {"<< AT\\r\\n"}},
      {{"AT\r\r\nOK\r\n"}, {"<< AT\\r", "<< \\r\\nOK\\r\\n"}},
      {{"\r\nRI", "NG\r\n\r\n+CLIP"}, {"<< \\r\\nRING\\r\\n"}},
      {{"\r\n", "\r\n"}, {}},
      {{"a\x01\xff\\\t\r"}, {"<< a\\x01\\xFF\\\\\\t\\r"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> lines;
    ExchangeLog log([&](const std::string& line) { lines.push_back(line); });
    for (const std::string& chunk : c.chunks) log.FromGateway(chunk);
    EXPECT_EQ(lines, c.lines) << c.chunks.front();
  }
}

TEST(ExchangeLog, DirectionsKeepTheirOwnPartialLines) {
  std::vector<std::string> lines;
  ExchangeLog log([&](const std::string& line) { lines.push_back(line); });
  log.FromGateway("AT+C");
  log.ToGateway("\r\nRING\r\n");
  log.FromGateway("SQ\r");
  EXPECT_EQ(lines, (std::vector<std::string>{">> \\r\\nRING\\r\\n", "<< AT+CSQ\\r"}));
}

}  // namespace
}  // namespace quell::sim
