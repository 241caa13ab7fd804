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

namespace quell::sim {
namespace {

TEST(Dc09FrameForms, EachFormReadsBackAsItself) {
  const std::string body = "\"ACK\"0001L0#1234[]";
  for (Dc09CrcForm form :
       {Dc09CrcForm::Hex, Dc09CrcForm::Raw, Dc09CrcForm::HexCr, Dc09CrcForm::RawCr}) {
    const Dc09Reply r = ParseDc09Reply(Dc09Frame(body, form));
    EXPECT_TRUE(r.framed && r.crcOk && r.lengthOk) << int(form);
    EXPECT_EQ(r.form, form);
    EXPECT_EQ(r.echo, "0001L0#1234[]");
  }
  // The CR form counts the CR in its length; the raw form carries 2 bytes.
  EXPECT_EQ(Dc09Frame(body, Dc09CrcForm::HexCr).substr(5, 4), "0013");
  EXPECT_EQ(Dc09Frame(body, Dc09CrcForm::Raw).substr(3, 5), "0012\"");
  // A reply in another form than the message's is no good ACK.
  Dc09Message raw;
  raw.crc = Dc09CrcForm::Raw;
  Dc09Sender sender(raw, false, 1000);
  sender.Next(QDateTime::currentDateTimeUtc(), 0);
  EXPECT_EQ(sender.Receive(Dc09Frame(body), 10)->outcome, Dc09Outcome::BadReply);
  sender.Next(QDateTime::currentDateTimeUtc(), 0);
  EXPECT_EQ(sender.Receive(Dc09Frame("\"ACK\"0002L0#1234[]", Dc09CrcForm::Raw), 10)->outcome,
            Dc09Outcome::Ack);
}

TEST(Dc09FrameForms, HeaderAndDataOptions) {
  Dc09Message m;
  m.hasLine = false;
  m.hasAccount = false;
  m.token = "SIA-DCS";
  m.siaData = "36214|Nti10:01:00/RP";
  EXPECT_EQ(Dc09Body(m, 7, kNoon), "\"SIA-DCS\"0007[36214|Nti10:01:00/RP]_12:00:00,01-01-2024");
  m.hasLine = true;
  m.line = "";
  EXPECT_EQ(Dc09Body(m, 7, kNoon).substr(0, 15), "\"SIA-DCS\"0007L[");
  std::string error;
  const auto args =
      ParseDc09Args({QStringLiteral("--crc"), QStringLiteral("raw-cr"), QStringLiteral("--nul"),
                     QStringLiteral("--line"), QString(), QStringLiteral("--account"),
                     QStringLiteral("foc7688"), QStringLiteral("--repeat-seq"), QStringLiteral("3"),
                     QStringLiteral("--pad"), QStringLiteral("random")},
                    &error);
  ASSERT_TRUE(args) << error;
  EXPECT_EQ(args->message.crc, Dc09CrcForm::RawCr);
  EXPECT_TRUE(args->message.nul);
  EXPECT_TRUE(args->message.hasLine);
  EXPECT_EQ(args->message.line, "");
  EXPECT_EQ(args->message.account, "FOC7688");
  EXPECT_EQ(args->message.repeats, 3u);
  EXPECT_TRUE(args->message.randomPad);
}

TEST(Dc09FrameForms, RepeatsKeepTheSequenceAreMadeAnewAndEachAckSettles) {
  Dc09Message m;
  m.key = kKey;
  m.repeats = 3;
  Dc09Sender sender(m, false, 1000);
  std::vector<std::string> sent;
  for (int i = 0; i < 4; ++i) sent.push_back(sender.Next(kNoon, i));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(sent[i].substr(sent[i].find('"', 10) + 1, 4), "0001");
  EXPECT_EQ(sent[3].substr(sent[3].find('"', 10) + 1, 4), "0002");
  // The same second: a repeat differs all the same (a new pad).
  EXPECT_NE(sent[1], sent[0]);
  EXPECT_NE(sent[2], sent[1]);
  const std::string ack =
      Dc09Frame("\"*ACK\"0001L0#1234[" + Hex("0000000000|]_12:00:05,01-01-2024"));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(sender.Receive(ack, 10)->outcome, Dc09Outcome::Ack);
  EXPECT_EQ(sender.Waiting(), 1u);
}

TEST(Dc09FrameForms, EachWrapOfTheSequenceMovesTheZoneOn) {
  Dc09Message m;
  Dc09Sender sender(m, false, 1000);
  std::string first, wrapped;
  for (int i = 1; i <= 10000; ++i) {
    const std::string f = sender.Next(kNoon, 0);
    if (i == 1) first = f;
    if (i == 10000) wrapped = f;
    sender.Expire(2'000'000);
  }
  EXPECT_NE(first.find("1130 01 015]"), std::string::npos);
  EXPECT_NE(wrapped.find("\"ADM-CID\"0001"), std::string::npos);
  EXPECT_NE(wrapped.find("1130 01 016]"), std::string::npos);
}

}  // namespace
}  // namespace quell::sim
