// The SIA DC-09 receiver: reply frames checked against a CRC computed here
// independently, and what each kind of datagram leads to.
#include "ip/dc09_receiver.h"

#include <gtest/gtest.h>

#include <QNetworkDatagram>
#include <QUdpSocket>

#include "core/refusal_journal.h"
#include "core/wire.h"
#include "ip/dc09_frames.h"
#include "tests/ip/ip_fixture.h"
#include "tests/support/loopback.h"

namespace quell {
namespace {

// CRC-16/ARC the table-driven way, to check the receiver's bitwise one.
uint16_t ReferenceCrc(const std::string& text) {
  static const auto table = [] {
    std::array<uint16_t, 256> t{};
    for (unsigned n = 0; n < 256; ++n) {
      uint16_t c = uint16_t(n);
      for (int k = 0; k < 8; ++k) c = (c & 1) ? uint16_t((c >> 1) ^ 0xA001) : uint16_t(c >> 1);
      t[n] = c;
    }
    return t;
  }();
  uint16_t crc = 0;
  for (unsigned char b : text) crc = uint16_t((crc >> 8) ^ table[(crc ^ b) & 0xFF]);
  return crc;
}

std::string Hex4(uint16_t v) {
  char s[5];
  std::snprintf(s, sizeof s, "%04X", unsigned(v));
  return s;
}

std::string Datagram(const std::string& body) {
  return "\n" + Hex4(ReferenceCrc(body)) + "0040" + body + "\r";
}

const std::string kEvent =
    Datagram("\"ADM-CID\"0001L0#1234[#1234|1130 01 015]_12:00:00,01-01-2020");
const std::string kRejected =
    Datagram("\"ADM-CID\"0002L0#1234[#1234|5130 01 015]_12:00:00,01-01-2020");
const std::string kSeparator =
    Datagram("\"ADM-CID\"0005L0#1234[#12;4|1130 01 015]_12:00:00,01-01-2020");
const std::string kTestReport =
    Datagram("\"ADM-CID\"0003L0#1234[#1234|1602 00 000]_12:00:00,01-01-2020");
const std::string kLinkTest = Datagram("\"NULL\"0004L0#1234[]_12:00:00,01-01-2020");

TEST(Dc09Frames, CrcAndFramesMatchAnIndependentComputation) {
  ASSERT_EQ(ReferenceCrc("123456789"), 0xBB3D);
  EXPECT_EQ(Crc16Arc("123456789"), 0xBB3D);
  // Eight bytes are taken at a time: every length around those steps, and
  // every byte value in each of the eight places.
  std::string text;
  for (size_t n = 0; n < 2048; ++n) text += char((n / 8 + n * 37) & 0xFF);
  for (size_t length = 0; length <= 33; ++length)
    EXPECT_EQ(Crc16Arc(std::string_view(text).substr(0, length)),
              ReferenceCrc(text.substr(0, length)))
        << length;
  EXPECT_EQ(Crc16Arc(text), ReferenceCrc(text));
  const std::string ackBody = "\"ACK\"0001L0#1234[]";
  EXPECT_EQ(Dc09AckFrame("0001L0#1234"),
            "\n" + Hex4(ReferenceCrc(ackBody)) + "0012" + ackBody + "\r");
  // The length text stays fixed for a longer echo.
  EXPECT_EQ(Dc09AckFrame("0001R12L0#123456").substr(5, 4), "0012");
  const std::string nackBody = "\"NACK\"0000R0L0A0[]_12:00:00,01-01-2020\r";
  EXPECT_EQ(Dc09NackFrame("12:00:00,01-01-2020\r"),
            "\n" + Hex4(ReferenceCrc(nackBody)) + "0026" + nackBody + "\r");
  EXPECT_EQ(Dc09HeaderEcho(kEvent), "0001L0#1234");
  EXPECT_EQ(Dc09Timestamp(kEvent), "12:00:00,01-01-2020\r");
  EXPECT_EQ(Dc09RelayText(kEvent).substr(9),
            "\"ADM-CID\"0001L0011L1234[#001234|1130 01 015]_12:00:00,01-01-2020\r");
  EXPECT_EQ(Dc09RelayText(kLinkTest), "FALSE");
}

class Dc09ReceiverTest : public test::IpFixture {
 protected:
  std::vector<std::string> Handle(const std::string& datagram) {
    std::vector<std::string> replies;
    receiver.Handle(datagram, [&](const std::string& bytes) { replies.push_back(bytes); });
    return replies;
  }

  test::FakeClientFeed feed;
  IpModuleList list;
  IpModuleSupervision modules{clock, list, settings, notices, output};
  AdmCidParser parser{modules, output, settings};
  Dc09Receiver receiver{clock, journal, trace, output, device, settings, ports, feed, parser};
};

// A refused or ignored datagram is explained in the journal, once a minute
// per account (or sender) and reason.
TEST_F(Dc09ReceiverTest, RefusedDatagramsAreExplainedOnceAMinute) {
  RefusalJournal refusals(clock, journal);
  receiver.SetRefusals(&refusals);
  const std::string port = std::to_string(receiver.Port());
  auto explained = [&](const std::string& datagram, const std::string& sender) {
    journal.Clear();
    receiver.Handle(
        datagram, [](const std::string&) {}, sender);
    for (const std::string& e : journal.Entries())
      if (e.starts_with("Refused ") || e.starts_with("Ignored ")) return e;
    return std::string("(none)");
  };
  EXPECT_EQ(explained(kRejected, "10.0.0.5:4000"),
            "Refused DC-09 datagram from 10.0.0.5:4000 on UDP port " + port +
                ", account 1234: the event qualifier is neither 1 nor 3");
  EXPECT_EQ(explained(kRejected, "10.0.0.5:4000"), "(none)");  // within the minute
  EXPECT_EQ(explained(Datagram("\"ADM-CID\"0001L0[]"), "10.0.0.6:4000"),
            "Ignored DC-09 datagram from 10.0.0.6:4000 on UDP port " + port +
                ": not the \"ADM-CID\" layout served without DC09.ini (fewer than three \"#\")");
  clock.Advance(RefusalJournal::kWindowMs);
  EXPECT_NE(explained(kRejected, "10.0.0.5:4000"), "(none)");
}

TEST_F(Dc09ReceiverTest, EachKindOfDatagramGetsItsReplyAndGoesWhereItShould) {
  const std::string event = "5114 181234E13001015";
  const std::string dc4(1, kDC4);
  struct Case {
    const char* what;
    std::string datagram;
    int wardexClients;
    bool alive, storeOffline;
    std::vector<std::string> replies;
    std::vector<std::string> toWardex;
    std::string written;  // to the console port
    std::vector<std::string> queued;
    size_t journalLines;
  } cases[] = {
      {"event to a live console",
       kEvent,
       1,
       true,
       false,
       {Dc09AckFrame("0001L0#1234")},
       {"MLR;" + event + "\r;MLR_EVENT|"},
       event + dc4,
       {},
       1},
      {"event queued offline",
       kEvent,
       0,
       false,
       true,
       {Dc09AckFrame("0001L0#1234")},
       {},
       "",
       {event + dc4},
       1},
      {"event lost offline", kEvent, 0, false, false, {Dc09AckFrame("0001L0#1234")}, {}, "", {}, 1},
      {"rejected with a client",
       kRejected,
       1,
       true,
       false,
       {Dc09NackFrame("12:00:00,01-01-2020\r")},
       {},
       kTroubleLine,
       {},
       1},
      {"rejected without a client", kRejected, 0, true, false, {}, {}, kTroubleLine, {}, 1},
      {"separator in the account",
       kSeparator,
       1,
       true,
       true,
       {Dc09NackFrame("12:00:00,01-01-2020\r")},
       {},
       kTroubleLine,
       {},
       1},
      {"test report", kTestReport, 1, true, true, {Dc09AckFrame("0003L0#1234")}, {}, "", {}, 1},
      {"single #", kLinkTest, 1, true, false, {}, {}, "", {}, 1},
      {"probe", "REQ", 1, true, false, {"0", "\r"}, {}, "", {}, 0},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    journal.Clear();
    device.written.clear();
    consoleQueue.Clear();
    feed.wardex.clear();
    feed.wardexClients = c.wardexClients;
    device.portOpen = true;
    device.alive = c.alive;
    settings.storeOffline = c.storeOffline;
    EXPECT_EQ(Handle(c.datagram), c.replies);
    EXPECT_EQ(feed.wardex, c.toWardex);
    EXPECT_EQ(device.written, c.written);
    EXPECT_EQ(consoleQueue.Snapshot(), c.queued);
    EXPECT_EQ(journal.Size(), c.journalLines);
  }
}

TEST_F(Dc09ReceiverTest, KeepAliveTextLeavesNoJournalLineAndFullJournalIsCleared) {
  for (int i = 0; i <= 1000; ++i) journal.Append("x");
  Handle(kEvent);
  EXPECT_EQ(journal.Size(), 1u);
  Handle(Datagram("\"SR\"0001L0#1234[#1234|1130 01 015]_12:00:00,01-01-2020"));
  EXPECT_EQ(journal.Size(), 1u);
}

TEST_F(Dc09ReceiverTest, AnswersOverUdp) {
  ports.sia = 0;
  ASSERT_TRUE(receiver.Listen());
  QUdpSocket sender;
  ASSERT_TRUE(sender.bind(QHostAddress::LocalHost, 0));
  sender.writeDatagram(kEvent.data(), qint64(kEvent.size()), QHostAddress::LocalHost,
                       receiver.Port());
  ASSERT_TRUE(test::WaitFor([&] { return sender.hasPendingDatagrams(); }));
  const QByteArray reply = sender.receiveDatagram().data();
  EXPECT_EQ(reply.toStdString(), Dc09AckFrame("0001L0#1234"));
}

}  // namespace
}  // namespace quell
