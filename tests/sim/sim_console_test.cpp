#include "sim/console/sim_console.h"

#include <gtest/gtest.h>

namespace quell::sim {
namespace {

constexpr std::string_view kCidLinkTest = "1011           @    \x14";
constexpr std::string_view kCidEvent = "5011 181234E13001015\x14";

struct Arrival {
  int64_t atMs;
  std::string bytes;
};

// Feeds the chunks at their times; returns what the console answered.
std::string FeedAt(SimConsole& console, int64_t& now, const std::vector<Arrival>& arrivals) {
  std::string answered;
  for (const Arrival& a : arrivals) {
    now = 1000 + a.atMs;  // the console started at 1000
    answered += console.Feed(a.bytes);
  }
  return answered;
}

TEST(SimConsole, FramesLinesInEitherFormat) {
  using F = ConsoleFormat;
  const std::string overlong(ConsoleFramer::kMaxLine + 1, '9');
  const struct {
    const char* what;
    F format;
    std::vector<std::string> chunks;
    std::vector<std::string> events;
    uint64_t linkTests;
  } cases[] = {
      {"one event", F::ContactId, {std::string(kCidEvent)}, {"5011 181234E13001015"}, 0},
      {"split chunks",
       F::ContactId,
       {"5011 1812", "34E13001", "015", "\x14"},
       {"5011 181234E13001015"},
       0},
      {"extra DC4s", F::ContactId, {std::string(kCidLinkTest) + "\x14\x14", "\x14"}, {}, 1},
      {"two in a chunk",
       F::ContactId,
       {"A\x14"
        "B\x14"},
       {"A", "B"},
       0},
      {"overlong dropped",
       F::ContactId,
       {overlong,
        "X\x14"
        "C\x14"},
       {"C"},
       0},
      {"ademco link test", F::Ademco, {"\n00 OKAY @\r"}, {}, 1},
      {"ademco split", F::Ademco, {"\n", "1234 E130", "\r"}, {"1234 E130"}, 0},
      {"ademco noise outside frames", F::Ademco, {"xx\r\nA\rzz\n\r"}, {"A"}, 0},
      {"ademco LF restarts", F::Ademco, {"\nA\nB\r"}, {"B"}, 0},
      {"DC4 means nothing in ademco",
       F::Ademco,
       {"\nA\x14"
        "B\r"},
       {"A\x14"
        "B"},
       0},
  };
  for (const auto& c : cases) {
    int64_t now = 1000;
    SimConsole console({c.format, {}, {}}, [&now] { return now; });
    std::string acks;
    for (const std::string& chunk : c.chunks) acks += console.Feed(chunk);
    EXPECT_EQ(console.Events(), c.events) << c.what;
    EXPECT_EQ(console.LinkTests(), c.linkTests) << c.what;
    EXPECT_EQ(acks, std::string(c.events.size() + c.linkTests, SimConsole::kAck)) << c.what;
  }
}

TEST(SimConsole, TellsLinkTestsFromEvents) {
  const struct {
    ConsoleFormat format;
    std::string_view text;
    bool linkTest;
  } cases[] = {
      {ConsoleFormat::ContactId, "1011           @    ", true},
      {ConsoleFormat::ContactId, "1011           @", true},
      {ConsoleFormat::ContactId, "1011 @", false},
      {ConsoleFormat::ContactId, "5011 181234E13001015", false},
      {ConsoleFormat::ContactId, "00 OKAY @", false},
      {ConsoleFormat::Ademco, "00 OKAY @", true},
      {ConsoleFormat::Ademco, "1011           @    ", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsLinkTest(c.format, c.text), c.linkTest) << c.text;
}

TEST(SimConsole, KeepsSilentForItsWindow) {
  using O = std::optional<uint32_t>;
  const struct {
    const char* what;
    O after, forMs;
    std::vector<int64_t> arrivals;
    std::string answered;  // '+' answered, '-' not
  } cases[] = {
      {"always answers", {}, {}, {0, 99999}, "++"},
      {"silent from the start", {}, 5000, {0, 4999, 5000, 6000}, "--++"},
      {"after 0 lines is from the start", 0, 50, {49, 50}, "-+"},
      {"silent for good after 2", 2, {}, {0, 10, 20, 99999}, "++--"},
      {"silent after 2 for 1000", 2, 1000, {0, 100, 1099, 1100, 1200}, "++-++"},
  };
  for (const auto& c : cases) {
    int64_t now = 1000;
    SimConsole console({ConsoleFormat::ContactId, c.after, c.forMs}, [&now] { return now; });
    std::vector<Arrival> arrivals;
    for (int64_t at : c.arrivals) arrivals.push_back({at, std::string(kCidEvent)});
    FeedAt(console, now, arrivals);
    std::string pattern;
    for (const ConsoleLine& line : console.Lines()) pattern += line.answered ? '+' : '-';
    EXPECT_EQ(pattern, c.answered) << c.what;
    EXPECT_EQ(console.Unanswered(), uint64_t(std::count(pattern.begin(), pattern.end(), '-')))
        << c.what;
  }
}

TEST(SimConsole, TicksOffExpectedEvents) {
  int64_t now = 1000;
  SimConsole console({}, [&now] { return now; });
  console.Expect("5011 181234E13001015");
  console.Expect("5011 181234E13001015");
  console.Expect("5011 181234R13001015");
  FeedAt(console, now, {{10, std::string(kCidEvent) + std::string(kCidLinkTest)}});
  EXPECT_EQ(console.Missing().size(), 2u);
  FeedAt(console, now, {{20, "5011 181234R13001015\x14"}, {30, std::string(kCidEvent)}});
  EXPECT_TRUE(console.AllExpectedArrived());
  EXPECT_EQ(console.Lines().back().atMs, 30);
  EXPECT_EQ(console.Summary(),
            "lines 4: link tests 1, events 3, answered 4, not answered 0\n"
            "expected 3, arrived 3");
}

}  // namespace
}  // namespace quell::sim
