// The simulator's standard DC-09 messages (SIA-DCS, NULL, encrypted) and
// its checks of the standard receiver's replies.
#include <gtest/gtest.h>

#include <QTimeZone>

#include "core/dc09/aes_cbc.h"
#include "core/hex.h"
#include "sim/dc09/dc09_args.h"
#include "sim/dc09/dc09_frame.h"
#include "sim/dc09/dc09_sender.h"

namespace quell::sim {
namespace {

const QDateTime kNoon(QDate(2024, 1, 1), QTime(12, 0), QTimeZone::utc());
const std::string kKey = *FromHex("000102030405060708090A0B0C0D0E0F");

std::string Hex(const std::string& plain) {
  return HexUpper(*AesCbcEncrypt(kKey, plain));
}

TEST(Dc09StandardSender, BuildsEveryToken) {
  Dc09Message sia;
  sia.token = "SIA-DCS";
  sia.account = "AAAA";
  sia.zone = 501;
  Dc09Message null;
  null.token = "NULL";
  null.receiver = "1";
  Dc09Message encrypted;
  encrypted.account = "123F";
  encrypted.receiver = "0";
  encrypted.key = kKey;
  const struct {
    Dc09Message message;
    std::string body;
  } cases[] = {
      {sia, "\"SIA-DCS\"0001L0#AAAA[#AAAA|Nri1/BA501]_12:00:00,01-01-2024"},
      {null, "\"NULL\"0001R1L0#1234[]_12:00:00,01-01-2024"},
      // The worked frame of the receiver's tests, but built here.
      {encrypted,
       "\"*ADM-CID\"0001R0L0#123F[864D52DA7198647A3982CC4F529CD75D02B6184868BDEA8A5957A6"
       "ADD6327E6D25E318A4119C0216FEBBEB980076215C"},
  };
  for (const auto& c : cases) EXPECT_EQ(Dc09Body(c.message, 1, kNoon), c.body);
}

TEST(Dc09StandardSender, ChecksStandardReplies) {
  Dc09Message plain;
  Dc09Message keyed;
  keyed.key = kKey;
  const std::string starAck = "\"*ACK\"0001L0#1234[" + Hex("0000000000|]_12:00:05,01-01-2024");
  const struct {
    const char* what;
    const Dc09Message& message;
    std::string reply;
    Dc09Outcome outcome;
  } cases[] = {
      {"standard ACK", plain, Dc09Frame("\"ACK\"0001L0#1234[]"), Dc09Outcome::Ack},
      {"NAK", plain, Dc09Frame("\"NAK\"0000R0L0A0[]_12:00:05,01-01-2024"), Dc09Outcome::Nack},
      {"DUH", plain, Dc09Frame("\"DUH\"0001L0#1234[]"), Dc09Outcome::Duh},
      {"wrong length", plain, "\n1BC10013\"ACK\"0001L0#1234[]\r", Dc09Outcome::BadReply},
      {"echo of another account", plain, Dc09Frame("\"ACK\"0001L0#1235[]"),
       Dc09Outcome::WrongSequence},
      {"*ACK", keyed, Dc09Frame(starAck), Dc09Outcome::Ack},
      {"*ACK with another key", keyed,
       Dc09Frame(
           "\"*ACK\"0001L0#1234[" +
           HexUpper(*AesCbcEncrypt(std::string(16, 'x'), "0000000000|]_12:00:05,01-01-2024"))),
       Dc09Outcome::BadReply},
      {"*ACK without time", keyed, Dc09Frame("\"*ACK\"0001L0#1234[" + Hex("00000000000000|]")),
       Dc09Outcome::BadReply},
      {"plain ACK to an encrypted frame", keyed, Dc09Frame("\"ACK\"0001L0#1234[]"),
       Dc09Outcome::BadReply},
      {"*ACK to a plain frame", plain, Dc09Frame(starAck), Dc09Outcome::BadReply},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Dc09Sender sender(c.message, false, 2000);
    sender.Next(kNoon, 0);
    const auto result = sender.Receive(c.reply, 100);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, c.outcome);
  }
}

// The sender makes its encrypted block once a second and checks a reply's
// block once: what it sends and accepts must still follow the clock and
// each reply.
TEST(Dc09StandardSender, BlocksMadeAndCheckedOnceFollowTheSecond) {
  Dc09Message keyed;
  keyed.key = kKey;
  Dc09Sender sender(keyed, false, 2000);
  const QDateTime later = kNoon.addMSecs(999), next = kNoon.addSecs(1);
  EXPECT_EQ(sender.Next(kNoon, 0), Dc09Frame(Dc09Body(keyed, 1, kNoon)));
  EXPECT_EQ(sender.Next(later, 0), Dc09Frame(Dc09Body(keyed, 2, later)));
  EXPECT_EQ(sender.Next(next, 0), Dc09Frame(Dc09Body(keyed, 3, next)));
  EXPECT_NE(Dc09Body(keyed, 3, next).substr(20), Dc09Body(keyed, 3, kNoon).substr(20));
  const std::string good = Hex("0000000000|]_12:00:05,01-01-2024");
  std::string bad = good;
  bad.back() = bad.back() == '0' ? '1' : '0';
  const struct {
    int sequence;
    std::string block;
    Dc09Outcome outcome;
  } replies[] = {
      {1, good, Dc09Outcome::Ack}, {2, bad, Dc09Outcome::BadReply}, {3, good, Dc09Outcome::Ack}};
  for (const auto& r : replies) {
    char sequence[8];
    std::snprintf(sequence, sizeof sequence, "%04d", r.sequence);
    const auto result =
        sender.Receive(Dc09Frame("\"*ACK\"" + std::string(sequence) + "L0#1234[" + r.block), 100);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, r.outcome) << r.sequence;
  }
}

TEST(Dc09StandardSender, Options) {
  std::string error;
  const auto words = [](const char* line) {
    return QString::fromLatin1(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
  };
  auto a = ParseDc09Args(words("--sia fa --key \"AAAAAAAAAAAAAAAA\" --tcp"), &error);
  ASSERT_TRUE(a) << error;
  EXPECT_EQ(a->message.token, "SIA-DCS");
  EXPECT_EQ(a->message.sia, "FA");
  EXPECT_EQ(a->message.key, "AAAAAAAAAAAAAAAA");
  EXPECT_TRUE(a->tcp);
  a = ParseDc09Args(words("--token null --key 000102030405060708090a0b0c0d0e0f1011121314151617"),
                    &error);
  ASSERT_TRUE(a) << error;
  EXPECT_EQ(a->message.token, "NULL");
  EXPECT_EQ(a->message.key.size(), 24u);
  for (const char* bad :
       {"--token SIA", "--sia B", "--sia B1", "--key 0011", "--key \"short\"", "--req --tcp"})
    EXPECT_FALSE(ParseDc09Args(words(bad), &error)) << bad;
}

}  // namespace
}  // namespace quell::sim
