#include "sim/ip/ip_module.h"

#include <gtest/gtest.h>

namespace quell::sim {
namespace {

using Kind = IpModule::Action::Kind;

TEST(IpMessages, Texts) {
  IpMessageFields other;
  other.account = 56;
  other.receiver = 2;
  other.line = 3;
  other.event = "3602";
  other.group = 0;
  other.zone = 0;
  EXPECT_EQ(IpEventText({}, 1), "\"ADM-CID\"0001R0001L0001[#001234|1130 01 015]");
  EXPECT_EQ(IpEventText(other, 42), "\"ADM-CID\"0042R0002L0003[#000056|3602 00 000]");
  EXPECT_EQ(IpKeepAliveText({}), "SR0001L0001     #1234[]");
  EXPECT_EQ(IpKeepAliveText(other), "SR0002L0003     #0056[]");
}

TEST(IpMessages, ClassifiesReplies) {
  const struct {
    std::string_view received;
    bool keepAlive;
    IpReply reply;
  } cases[] = {
      {"", false, IpReply::Incomplete},    {"AC", false, IpReply::Incomplete},
      {"ACK", false, IpReply::Incomplete}, {"NAC", false, IpReply::Incomplete},
      {"ACK\r", false, IpReply::Ack},      {"NACK\r", false, IpReply::Nack},
      {"ACK\r\r", false, IpReply::Other},  {"ACK\n", false, IpReply::Other},
      {"\r", false, IpReply::Other},       {"", true, IpReply::Incomplete},
      {"\r", true, IpReply::Ack},          {"ACK\r", true, IpReply::Ack},
      {"\r\r", true, IpReply::Other},      {"OK\r", true, IpReply::Other},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ClassifyIpReply(c.received, c.keepAlive), c.reply)
        << c.keepAlive << " \"" << c.received << "\"";
}

// A conversation step: what happens at a time, and the action expected.
struct Step {
  enum What { Start, Connected, Received, Lost, Tick } what;
  int64_t atUs;
  std::string bytes;
  Kind expect;
  std::string sent = {};  // for Kind::Send
};

const std::string kGreeting(24, '\0');

TEST(IpModule, Conversations) {
  const std::string event1 = IpEventText({}, 1), event2 = IpEventText({}, 2),
                    event3 = IpEventText({}, 3);
  const std::string keepAlive = IpKeepAliveText({});
  const struct {
    const char* what;
    bool keepAlive;
    uint32_t messages;
    std::vector<Step> steps;
    IpCounts counts;
    int64_t periodUs = 0, offsetUs = 0;
  } cases[] = {
      {"events share a connection; greeting and reply in pieces",
       false,
       2,
       {{Step::Start, 0, "", Kind::Connect},
        {Step::Connected, 100, "", Kind::None},
        {Step::Received, 500, kGreeting.substr(0, 10), Kind::None},
        {Step::Received, 1000, kGreeting.substr(10), Kind::Send, event1},
        {Step::Received, 1200, "AC", Kind::None},
        {Step::Received, 1400, "K\r", Kind::Send, event2},
        {Step::Received, 1500, "NACK\r", Kind::Finish}},
       {.connected = 1, .greeted = 1, .ack = 1, .nack = 1}},
      {"keep-alives connect anew",
       true,
       2,
       {{Step::Start, 0, "", Kind::Connect},
        {Step::Connected, 0, "", Kind::None},
        {Step::Received, 0, kGreeting, Kind::Send, keepAlive},
        {Step::Received, 0, "\r", Kind::Connect},
        {Step::Connected, 0, "", Kind::None},
        {Step::Received, 0, kGreeting, Kind::Send, keepAlive},
        {Step::Received, 0, "\r", Kind::Finish}},
       {.connected = 2, .greeted = 2, .ack = 2}},
      {"bytes past the greeting spoil the reply",
       false,
       1,
       {{Step::Start, 0, "", Kind::Connect},
        {Step::Connected, 0, "", Kind::None},
        {Step::Received, 0, kGreeting + "X", Kind::Send, event1},
        {Step::Received, 0, "ACK\r", Kind::Finish}},
       {.connected = 1, .greeted = 1, .other = 1}},
      {"refused, then dropped before the greeting",
       false,
       2,
       {{Step::Start, 0, "", Kind::Connect},
        {Step::Lost, 0, "", Kind::Connect},
        {Step::Connected, 0, "", Kind::None},
        {Step::Lost, 0, "", Kind::Finish}},
       {.connected = 1, .refused = 1, .dropped = 1}},
      {"timeouts exactly at the limit, connecting and replying",
       false,
       2,
       {{Step::Start, 0, "", Kind::Connect},
        {Step::Tick, 4'999'999, "", Kind::None},
        {Step::Tick, 5'000'000, "", Kind::Connect},
        {Step::Connected, 5'000'000, "", Kind::None},
        {Step::Received, 6'000'000, kGreeting, Kind::Send, event2},
        {Step::Tick, 10'999'999, "", Kind::None},
        {Step::Tick, 11'000'000, "", Kind::Finish}},
       {.connected = 1, .greeted = 1, .timeouts = 2}},
      {"paced: each message at its due time, or at once when its reply came late; a "
       "connection closed while waiting is opened anew",
       false,
       3,
       {{Step::Start, 0, "", Kind::Connect},
        {Step::Connected, 10, "", Kind::None},
        {Step::Received, 20, kGreeting, Kind::None},
        {Step::Tick, 999, "", Kind::None},
        {Step::Tick, 1000, "", Kind::Send, event1},
        {Step::Received, 1500, "ACK\r", Kind::None},
        {Step::Lost, 2000, "", Kind::Connect},
        {Step::Connected, 2100, "", Kind::None},
        {Step::Received, 2200, kGreeting, Kind::None},
        {Step::Tick, 5999, "", Kind::None},
        {Step::Tick, 6000, "", Kind::Send, event2},
        {Step::Received, 12000, "ACK\r", Kind::Send, event3},
        {Step::Received, 12100, "ACK\r", Kind::Finish}},
       {.connected = 2, .greeted = 2, .ack = 3},
       5000,
       1000},
  };
  for (const auto& c : cases) {
    IpStats stats;
    IpModule module({{}, c.keepAlive, c.messages, 5000, c.periodUs, c.offsetUs}, stats);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const Step& s = c.steps[i];
      IpModule::Action action;
      switch (s.what) {
        case Step::Start:
          action = module.Start(s.atUs);
          break;
        case Step::Connected:
          action = module.Connected(s.atUs);
          break;
        case Step::Received:
          action = module.Received(s.bytes, s.atUs);
          break;
        case Step::Lost:
          action = module.ConnectionLost(s.atUs);
          break;
        case Step::Tick:
          action = module.Tick(s.atUs);
          break;
      }
      EXPECT_EQ(action.kind, s.expect) << c.what << ", step " << i;
      EXPECT_EQ(action.bytes, s.sent) << c.what << ", step " << i;
    }
    EXPECT_TRUE(module.Done()) << c.what;
    const IpCounts& got = stats.Counts();
    const IpCounts& want = c.counts;
    EXPECT_EQ(std::tie(got.connected, got.greeted, got.ack, got.nack, got.other, got.timeouts,
                       got.refused, got.dropped),
              std::tie(want.connected, want.greeted, want.ack, want.nack, want.other, want.timeouts,
                       want.refused, want.dropped))
        << c.what;
  }
}

TEST(IpModule, TimesGreetingFromConnectAndReplyFromSend) {
  IpStats stats;
  IpModule module({}, stats);
  module.Start(0);
  module.Connected(1000);
  module.Received(kGreeting, 1300);
  module.Received("ACK\r", 2500);
  EXPECT_EQ(stats.GreetingTimes().Max(), 0.3);
  EXPECT_EQ(stats.ReplyTimes().Max(), 1.2);
}

}  // namespace
}  // namespace quell::sim
