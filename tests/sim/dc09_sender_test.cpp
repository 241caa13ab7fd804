#include "sim/dc09/dc09_sender.h"

#include <gtest/gtest.h>

#include <QTimeZone>

#include "sim/dc09/dc09_frame.h"

namespace quell::sim {
namespace {

const QDateTime kNoon(QDate(2020, 1, 1), QTime(12, 0), QTimeZone::utc());

std::string Ack(std::string_view echo) {
  return Dc09Frame("\"ACK\"" + std::string(echo));
}

TEST(Dc09Sender, BuildsMessageBodies) {
  Dc09Message custom;
  custom.account = "5678";
  custom.event = "3602";
  custom.group = 0;
  custom.zone = 0;
  custom.line = "3";
  custom.receiver = "12";
  const QDateTime late(QDate(2021, 12, 31), QTime(23, 59, 59), QTimeZone::utc());
  const struct {
    Dc09Message message;
    int sequence;
    QDateTime time;
    std::string body;
  } cases[] = {
      {{}, 1, kNoon, "\"ADM-CID\"0001L0#1234[#1234|1130 01 015]_12:00:00,01-01-2020"},
      {custom, 2, late, "\"ADM-CID\"0002R12L3#5678[#5678|3602 00 000]_23:59:59,12-31-2021"},
  };
  for (const auto& c : cases) EXPECT_EQ(Dc09Body(c.message, c.sequence, c.time), c.body);
}

TEST(Dc09Sender, FirstDatagramIsTheFramedDefaultMessage) {
  Dc09Sender sender({}, false, 2000);
  EXPECT_EQ(sender.Next(kNoon, 0),
            "\nD36E003B\"ADM-CID\"0001L0#1234[#1234|1130 01 015]_12:00:00,01-01-2020\r");
}

TEST(Dc09Sender, ChecksTheReply) {
  const struct {
    const char* what;
    std::string reply;
    Dc09Outcome outcome;
  } cases[] = {
      {"good ACK", Ack("0001L0#1234[]"), Dc09Outcome::Ack},
      {"bad CRC", "\n1BC20012\"ACK\"0001L0#1234[]\r", Dc09Outcome::BadCrc},
      {"wrong sequence", Ack("0002L0#1234[]"), Dc09Outcome::WrongSequence},
      {"NACK", "\n693B0026\"NACK\"0000R0L0A0[]_12:00:00,01-01-2020\r\r", Dc09Outcome::Nack},
      {"not a frame", "ACK\r", Dc09Outcome::Other},
  };
  for (const auto& c : cases) {
    Dc09Sender sender({}, false, 2000);
    sender.Next(kNoon, 1000);
    const std::optional<Dc09Result> result = sender.Receive(c.reply, 1400);
    ASSERT_TRUE(result) << c.what;
    EXPECT_EQ(result->sequence, 1) << c.what;
    EXPECT_EQ(result->outcome, c.outcome) << c.what;
    EXPECT_DOUBLE_EQ(result->latencyMs, 0.4) << c.what;
    EXPECT_EQ(sender.Waiting(), 0u) << c.what;
    EXPECT_EQ(sender.AllAcknowledged(), c.outcome == Dc09Outcome::Ack) << c.what;
  }
}

TEST(Dc09Sender, MatchesAcksBySequenceWhileSeveralWait) {
  Dc09Sender sender({}, false, 2000);
  sender.Next(kNoon, 0);
  sender.Next(kNoon, 100);
  auto second = sender.Receive(Ack("0002L0#1234[]"), 600);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->sequence, 2);
  EXPECT_EQ(Dc09ResultLine(*second), "#0002 ACK 0.5 ms");
  auto first = sender.Receive(Ack("0001L0#1234[]"), 700);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->outcome, Dc09Outcome::Ack);
  EXPECT_TRUE(sender.AllAcknowledged());
}

TEST(Dc09Sender, TimesOutAtTheLimitAndCountsLateAndUnexpectedReplies) {
  Dc09Sender sender({}, false, 2000);
  sender.Next(kNoon, 0);
  EXPECT_TRUE(sender.Expire(1'999'999).empty());
  const std::vector<Dc09Result> expired = sender.Expire(2'000'000);
  ASSERT_EQ(expired.size(), 1u);
  EXPECT_EQ(Dc09ResultLine(expired[0]), "#0001 timeout");
  EXPECT_FALSE(sender.Receive(Ack("0001L0#1234[]"), 2'100'000));  // late
  EXPECT_FALSE(sender.Receive(Ack("0007L0#1234[]"), 2'200'000));  // nothing waits
  EXPECT_EQ(sender.Counts().timeouts, 1u);
  EXPECT_EQ(sender.Counts().late, 1u);
  EXPECT_EQ(sender.Counts().unexpected, 1u);
  EXPECT_FALSE(sender.AllAcknowledged());
}

// An ACK for one of the last kRecentKept settled messages is late; one for
// an older message, or for a sequence sent again since, is not.
TEST(Dc09Sender, RemembersExactlyTheLastSettledSequences) {
  Dc09Sender sender({}, false, 2000);
  char echo[32];
  auto ack = [&](int sequence) {
    std::snprintf(echo, sizeof echo, "%04dL0#1234[]", sequence);
    return Ack(echo);
  };
  const int settled = int(Dc09Sender::kRecentKept) + 1;
  for (int s = 1; s <= settled; ++s) {
    sender.Next(kNoon, 0);
    ASSERT_TRUE(sender.Receive(ack(s), 100));
  }
  EXPECT_FALSE(sender.Receive(ack(2), 200));  // the oldest one still kept
  EXPECT_EQ(sender.Counts().late, 1u);
  EXPECT_FALSE(sender.Receive(ack(1), 200));  // forgotten: nothing waits
  EXPECT_EQ(sender.Counts().late, 1u);
  EXPECT_EQ(sender.Counts().unexpected, 1u);
  // Sequences wrap: 0001 is sent again while its first settlement is long
  // forgotten, and the last ones settled before the wrap are still late.
  for (int s = settled + 1; s <= 9999; ++s) {
    sender.Next(kNoon, 0);
    ASSERT_TRUE(sender.Receive(ack(s), 100));
  }
  sender.Next(kNoon, 300);
  const auto again = sender.Receive(ack(1), 400);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->outcome, Dc09Outcome::Ack);
  EXPECT_FALSE(sender.Receive(ack(1), 450));     // settled just now: late
  EXPECT_FALSE(sender.Receive(ack(9999), 500));  // settled before the wrap: late
  // 0001 settled after the wrap pushed the oldest of the kept ones out.
  EXPECT_FALSE(sender.Receive(ack(9999 - int(Dc09Sender::kRecentKept) + 1), 500));
  EXPECT_EQ(sender.Counts().late, 3u);
  EXPECT_EQ(sender.Counts().unexpected, 2u);
}

TEST(Dc09Sender, SequenceWrapsFrom9999To0001) {
  Dc09Sender sender({}, false, 2000);
  std::string datagram;
  for (int i = 0; i < 9999; ++i) datagram = sender.Next(kNoon, 0);
  EXPECT_NE(datagram.find("\"ADM-CID\"9999L0"), std::string::npos);
  EXPECT_NE(sender.Next(kNoon, 0).find("\"ADM-CID\"0001L0"), std::string::npos);
}

TEST(Dc09Sender, ProbeWantsTwoDatagramsTheSecondACr) {
  const struct {
    std::string second;
    Dc09Outcome outcome;
  } cases[] = {{"\r", Dc09Outcome::Ack}, {"\r\n", Dc09Outcome::Other}};
  for (const auto& c : cases) {
    Dc09Sender sender({}, true, 2000);
    EXPECT_EQ(sender.Next(kNoon, 0), "REQ");
    EXPECT_FALSE(sender.Receive("3600", 100));
    const auto result = sender.Receive(c.second, 200);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, c.outcome);
  }
}

}  // namespace
}  // namespace quell::sim
