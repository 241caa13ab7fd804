// The standard DC-09 receiver: frames in every layout the panels write,
// encrypted frames with each key form and the edges of the time window,
// and what each outcome leads to. Frames are framed by the simulator's own
// CRC; the worked encrypted frame is pinned to values computed with
// `openssl enc -aes-128-cbc -nopad` and a CRC written in Python.
#include <gtest/gtest.h>

#include <QTimeZone>

#include "core/dc09/aes_cbc.h"
#include "core/dc09/dc09_stamp.h"
#include "core/hex.h"
#include "core/wire.h"
#include "ip/dc09/standard_receiver.h"
#include "ip/dc09/standard_replies.h"
#include "ip/dc09_receiver.h"
#include "sim/dc09/dc09_frame.h"
#include "tests/ip/dc09_test_frames.h"
#include "tests/ip/ip_fixture.h"
#include "tests/support/manual_event_log.h"

namespace quell {
namespace {

using Kind = Dc09Outcome::Kind;

const QDateTime& kNow = test::kDc09Now;
const std::string& kKey128 = test::kDc09Key128;
using test::Encrypted;
using test::Frame;
using test::Stamp;

Dc09Config Config() {
  return test::Dc09TableConfig();
}
SiaToCidTable Sia() {
  return test::Dc09TableSia();
}

class StandardDc09Test : public test::IpFixture {
 protected:
  StandardDc09Test() { clock.SetNow(kNow); }

  void Reset(Dc09Config config) {
    receiver_ = std::make_unique<StandardDc09Receiver>(
        StandardDc09Receiver::Parts{clock, journal, trace, output, device, settings, feed, modules},
        std::move(config), Sia());
  }
  StandardDc09Receiver& receiver() {
    if (!receiver_) Reset(Config());
    return *receiver_;
  }
  std::vector<std::string> Serve(const std::string& bytes) {
    std::vector<std::string> replies;
    receiver().Serve(bytes, [&](const std::string& r) { replies.push_back(r); });
    return replies;
  }

  test::FakeClientFeed feed;
  IpModuleList list;
  IpModuleSupervision modules{clock, list, settings, notices, output};
  std::unique_ptr<StandardDc09Receiver> receiver_;
};

TEST_F(StandardDc09Test, FramesInEveryLayout) {
  const std::string nak = Dc09Nak(kNow);
  struct Case {
    const char* what;
    std::string bytes;
    Kind kind;
    std::string reply;  // the body of an ACK or DUH; empty for NAK
    std::string event;
  } cases[] = {
      {"the one layout served without DC09.ini",
       Frame("\"ADM-CID\"0001L0#AAAA[#AAAA|1130 01 015]_" + Stamp(0)), Kind::Ack,
       "\"ACK\"0001L0#AAAA[]", "5114 18AAAAE13001015"},
      {"R field", Frame("\"ADM-CID\"0078R1L0#AAAA[#AAAA|1130 01 015]_" + Stamp(0)), Kind::Ack,
       "\"ACK\"0078R1L0#AAAA[]", "5114 18AAAAE13001015"},
      {"R and L of 6", Frame("\"ADM-CID\"0002RABCDEFL123456#AAAA[#AAAA|3130 02 001]"), Kind::Ack,
       "\"ACK\"0002RABCDEFL123456#AAAA[]", "5114 18AAAAR13002001"},
      {"account of 6", Frame("\"ADM-CID\"0003L0#AAAAAA[#AAAAAA|1130 01 015]"), Kind::Ack,
       "\"ACK\"0003L0#AAAAAA[]", "5114 184321E13001015"},
      {"account of 3", Frame("\"ADM-CID\"0004L0#ABC[#ABC|1401 01 003]"), Kind::Ack,
       "\"ACK\"0004L0#ABC[]", "5114 180ABCE40101003"},
      {"account of 16", Frame("\"ADM-CID\"0005L0#0123456789ABCDEF[#0123456789ABCDEF|1130 01 015]"),
       Kind::Ack, "\"ACK\"0005L0#0123456789ABCDEF[]", "5114 18CDEFE13001015"},
      {"leading zeros in the data, header in lower case",
       Frame("\"ADM-CID\"0006L0#aaaa[#00AAAA|1130 01 015]"), Kind::Ack, "\"ACK\"0006L0#aaaa[]",
       "5114 18AAAAE13001015"},
      {"data without account", Frame("\"ADM-CID\"0007L0#AAAA[1130 01 015]"), Kind::Ack,
       "\"ACK\"0007L0#AAAA[]", "5114 18AAAAE13001015"},
      {"extended data",
       Frame("\"ADM-CID\"0008L0#AAAA[#AAAA|1130 01 015][X030E46][Y50N20]_" + Stamp(0)), Kind::Ack,
       "\"ACK\"0008L0#AAAA[]", "5114 18AAAAE13001015"},
      {"qualifier 6 counts as new", Frame("\"ADM-CID\"0009L0#AAAA[#AAAA|6130 01 015]"), Kind::Ack,
       "\"ACK\"0009L0#AAAA[]", "5114 18AAAAE13001015"},
      {"periodic test", Frame("\"ADM-CID\"0010L0#AAAA[#AAAA|1602 00 000]"), Kind::Ack,
       "\"ACK\"0010L0#AAAA[]", ""},
      {"account E602 is not a test", Frame("\"ADM-CID\"0011L0#E602[#E602|1130 01 015]"), Kind::Ack,
       "\"ACK\"0011L0#E602[]", "5114 18E602E13001015"},
      {"NULL", Frame("\"NULL\"0012L0#AAAA[]_" + Stamp(0)), Kind::Ack, "\"ACK\"0012L0#AAAA[]", ""},
      {"NULL with data account", Frame("\"NULL\"0013R0L0#AAAA[#0000|]"), Kind::Ack,
       "\"ACK\"0013R0L0#AAAA[]", ""},
      {"SIA-DCS", Frame("\"SIA-DCS\"0014L0#AAAA[#AAAA|Nri1/BA501]_" + Stamp(0)), Kind::Ack,
       "\"ACK\"0014L0#AAAA[]", "5114 18AAAAE13001501"},
      {"SIA-DCS fields and text",
       Frame("\"SIA-DCS\"0015L0#AAAA[#AAAA|Nti12:34/id7/ri12/fa12^Kitchen^]"), Kind::Ack,
       "\"ACK\"0015L0#AAAA[]", "5114 18AAAAE11012012"},
      {"SIA-DCS restore, no ri, first code counts", Frame("\"SIA-DCS\"0016L0#AAAA[#AAAA|NBR3/BA4]"),
       Kind::Ack, "\"ACK\"0016L0#AAAA[]", "5114 18AAAAR13000003"},
      {"SIA-DCS no zone, O, ri 99", Frame("\"SIA-DCS\"0017L0#AAAA[Ori99BA]"), Kind::Ack,
       "\"ACK\"0017L0#AAAA[]", "5114 18AAAAE13099000"},
      {"SIA-DCS test report", Frame("\"SIA-DCS\"0018L0#AAAA[#AAAA|NRP]"), Kind::Ack,
       "\"ACK\"0018L0#AAAA[]", ""},
      {"SIA-DCS unmapped: forwarded as 750", Frame("\"SIA-DCS\"0019L0#AAAA[#AAAA|Nri1/XX501]"),
       Kind::Ack, "\"ACK\"0019L0#AAAA[]", "5114 18AAAAE75001501"},
      {"SIA-DCS ri 100: group 00", Frame("\"SIA-DCS\"0020R7L0#AAAA[#AAAA|Nri100/BA501]"), Kind::Ack,
       "\"ACK\"0020R7L0#AAAA[]", "5114 18AAAAE13000501"},
      {"SIA-DCS zone 1000: zone 000", Frame("\"SIA-DCS\"0021L0#AAAA[#AAAA|Nri1/BA1000]"), Kind::Ack,
       "\"ACK\"0021L0#AAAA[]", "5114 18AAAAE13001000"},
      {"SIA-DCS zone 999", Frame("\"SIA-DCS\"0022L0#AAAA[#AAAA|Nri1/BA999]"), Kind::Ack,
       "\"ACK\"0022L0#AAAA[]", "5114 18AAAAE13001999"},
      {"token not served", Frame("\"ADM-485\"0023L0#AAAA[#AAAA|1130 01 015]"), Kind::Duh,
       "\"DUH\"0023L0#AAAA[]", ""},
      {"qualifier 5", Frame("\"ADM-CID\"0024L0#AAAA[#AAAA|5130 01 015]"), Kind::Duh,
       "\"DUH\"0024L0#AAAA[]", ""},
      {"ADM-CID data cut", Frame("\"ADM-CID\"0025L0#AAAA[#AAAA|1130 01 01]"), Kind::Duh,
       "\"DUH\"0025L0#AAAA[]", ""},
      {"no header account: the data's", Frame("\"ADM-CID\"0026L0[#AAAA|1130 01 015]"), Kind::Ack,
       "\"ACK\"0026L0[]", "5114 18AAAAE13001015"},
      {"no account anywhere", Frame("\"ADM-CID\"0026L0[1130 01 015]"), Kind::Nak, "", ""},
      {"account of 2", Frame("\"ADM-CID\"0027L0#AA[#AA|1130 01 015]"), Kind::Nak, "", ""},
      {"account not listed", Frame("\"ADM-CID\"0028L0#BBBB[#BBBB|1130 01 015]"), Kind::Nak, "", ""},
      {"sequence of 3", Frame("\"ADM-CID\"001L0#AAAA[#AAAA|1130 01 015]"), Kind::Nak, "", ""},
      {"L of 7", Frame("\"ADM-CID\"0029L1234567#AAAA[#AAAA|1130 01 015]"), Kind::Nak, "", ""},
      {"bad stamp", Frame("\"ADM-CID\"0030L0#AAAA[#AAAA|1130 01 015]_25:00:00,01-01-2024"),
       Kind::Nak, "", ""},
      {"no ]", Frame("\"ADM-CID\"0031L0#AAAA[#AAAA|1130 01 015"), Kind::Nak, "", ""},
      {"keyed account, plain frame", Frame("\"ADM-CID\"0032L0#123F[#123F|1130 01 015]"), Kind::Nak,
       "", ""},
      {"encrypted, account without key",
       Frame("\"*ADM-CID\"0033L0#AAAA[" + Encrypted(kKey128, "#AAAA|1130 01 015]_" + Stamp(0))),
       Kind::Nak, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Dc09Outcome o = receiver().Read(c.bytes);
    EXPECT_EQ(o.kind, c.kind);
    EXPECT_EQ(o.reply, c.kind == Kind::Nak ? nak : sim::Dc09Frame(c.reply));
    // A periodic test keeps its line for the store but goes no further.
    EXPECT_EQ(o.PeriodicTest() ? std::string() : o.EventLine(), c.event);
    if (o.PeriodicTest()) {
      EXPECT_EQ(o.EventLine(), "5114 18AAAAE60200000");
    }
  }
}

TEST_F(StandardDc09Test, CrcAndLengthField) {
  const std::string good = Frame("\"ADM-CID\"0001L0#AAAA[#AAAA|1130 01 015]");
  std::string decimal = good, nonsense = good, lower = good, badCrc = good;
  decimal.replace(5, 4, "0040");  // the body is 0x28 = 40 long
  nonsense.replace(5, 4, "ZZZZ");
  for (size_t i = 1; i <= 4; ++i) lower[i] = char(std::tolower(lower[i]));
  badCrc[1] = badCrc[1] == '0' ? '1' : '0';
  std::string dataChanged = good;
  dataChanged[dataChanged.size() - 3] = '6';
  for (const auto& [bytes, kind] :
       {std::pair{decimal, Kind::Ack}, std::pair{nonsense, Kind::Ack}, std::pair{lower, Kind::Ack},
        std::pair{"junk before" + good, Kind::Ack}, std::pair{badCrc, Kind::Nak},
        std::pair{dataChanged, Kind::Nak}}) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(receiver().Read(bytes).kind, kind);
  }
}

TEST_F(StandardDc09Test, AFrameCutAnywhereGetsNak) {
  const std::string good = Frame("\"SIA-DCS\"0001L0#AAAA[#AAAA|Nri1/BA501]_" + Stamp(0));
  for (size_t n = 0; n < good.size(); ++n) {
    const Dc09Outcome o = receiver().Read(good.substr(0, n));
    EXPECT_EQ(o.kind, Kind::Nak) << n;
    EXPECT_TRUE(o.EventLine().empty());
  }
  EXPECT_EQ(receiver().Read(good).kind, Kind::Ack);
}

TEST_F(StandardDc09Test, WorkedEncryptedFramePinnedToAnIndependentComputation) {
  // openssl enc -aes-128-cbc -K 000102030405060708090A0B0C0D0E0F -iv 0 -nopad of
  // "000000000|#123F|1130 01 015]_12:00:00,01-01-2024", CRC and length by Python.
  const std::string frame =
      "\n39740078\"*ADM-CID\"0031R0L0#123F[864D52DA7198647A3982CC4F529CD75D02B6184868BDEA8A5957A6A"
      "DD6327E6D25E318A4119C0216FEBBEB980076215C\r";
  // The same tools on "0000000000|]_12:00:05,01-01-2024".
  const std::string ack =
      "\n6CCB0054\"*ACK\"0031R0L0#123F[DF0223A9F316A68466AA5527CB34289A581DCF550183A1CD618B2EDFAE"
      "4929DD\r";
  const Dc09Outcome o = receiver().Read(frame);
  EXPECT_EQ(o.kind, Kind::Ack);
  EXPECT_EQ(o.reply, ack);
  EXPECT_EQ(o.EventLine(), "5114 18123FE13001015");
}

TEST_F(StandardDc09Test, EncryptedFramesWithEachKeyFormAndTheTimeWindow) {
  struct Key {
    const char* account;
    std::string key;
  } keys[] = {{"123F", kKey128},
              {"C192", Config().Find("C192")->key},
              {"C256", Config().Find("C256")->key},
              {"BEEF", "AAAAAAAAAAAAAAAA"}};
  for (const Key& k : keys) {
    for (const auto& [offset, kind] : {std::pair{-41, Kind::Nak}, std::pair{-40, Kind::Ack},
                                       std::pair{20, Kind::Ack}, std::pair{21, Kind::Nak}}) {
      SCOPED_TRACE(std::string(k.account) + " " + std::to_string(offset));
      const std::string a = k.account;
      const Dc09Outcome o =
          receiver().Read(Frame("\"*SIA-DCS\"0042L0#" + a + "[" +
                                Encrypted(k.key, "#" + a + "|Nri1/BA501]_" + Stamp(offset))));
      EXPECT_EQ(o.kind, kind);
      if (kind != Kind::Ack) {
        EXPECT_EQ(o.reply, Dc09Nak(kNow));
        continue;
      }
      EXPECT_EQ(o.EventLine(), "5114 18" + a + "E13001501");
      // The *ACK carries the receiver's time, encrypted after its pad.
      const std::string head = "\"*ACK\"0042L0#" + a + "[";
      ASSERT_EQ(o.reply.substr(9, head.size()), head);
      const std::string hex = o.reply.substr(9 + head.size(), o.reply.size() - 10 - head.size());
      EXPECT_EQ(o.reply, sim::Dc09Frame(head + hex));
      EXPECT_EQ(*AesCbcDecrypt(k.key, *FromHex(hex)), "0000000000|]_" + Stamp(0));
    }
  }
}

TEST_F(StandardDc09Test, EncryptedFramesThatDoNotDecrypt) {
  const std::string stamp = Stamp(0);
  const std::string good = Encrypted(kKey128, "#123F|1130 01 015]_" + stamp);
  const std::string head = "\"*ADM-CID\"0001L0#123F[";
  struct {
    const char* what;
    std::string data;
    Kind kind;
  } cases[] = {
      {"good", good, Kind::Ack},
      {"lower-case hex", QString::fromStdString(good).toLower().toStdString(), Kind::Ack},
      {"ADM-CID without event data", Encrypted(kKey128, "]_" + stamp, false), Kind::Duh},
      {"empty", "", Kind::Nak},
      {"one digit short", good.substr(0, good.size() - 1), Kind::Nak},
      {"a block less 2 digits", good.substr(0, good.size() - 2), Kind::Nak},
      {"not hex", "G" + good.substr(1), Kind::Nak},
      {"closing ]", good + "]", Kind::Nak},
      {"wrong key", Encrypted("BBBBBBBBBBBBBBBB", "#123F|1130 01 015]_" + stamp), Kind::Nak},
      {"no stamp", Encrypted(kKey128, "#123F|1130 01 015]"), Kind::Nak},
      {"no ]", Encrypted(kKey128, "#123F|1130 01 015_" + stamp), Kind::Nak},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(receiver().Read(Frame(head + c.data)).kind, c.kind);
  }
  // Encrypted NULL from a real panel: pad, no '|', "]_" stamp.
  EXPECT_EQ(receiver()
                .Read(Frame("\"*NULL\"0002L0#123F[" + Encrypted(kKey128, "]_" + stamp, false)))
                .kind,
            Kind::Ack);
}

TEST_F(StandardDc09Test, PlainTimeStampsCheckedOnlyWhenAsked) {
  const auto frame = [](int offset) {
    return Frame("\"ADM-CID\"0001L0#AAAA[#AAAA|1130 01 015]_" + Stamp(offset));
  };
  EXPECT_EQ(receiver().Read(frame(-3600)).kind, Kind::Ack);
  Dc09Config c = Config();
  c.checkPlainTime = true;
  Reset(c);
  for (const auto& [offset, kind] : {std::pair{-41, Kind::Nak}, std::pair{-40, Kind::Ack},
                                     std::pair{20, Kind::Ack}, std::pair{21, Kind::Nak}})
    EXPECT_EQ(receiver().Read(frame(offset)).kind, kind) << offset;
  // Without a stamp there is nothing to check.
  EXPECT_EQ(receiver().Read(Frame("\"ADM-CID\"0001L0#AAAA[#AAAA|1130 01 015]")).kind, Kind::Ack);
}

TEST_F(StandardDc09Test, AnyAccountServesShortPlainAccounts) {
  Dc09Config c = Config();
  c.anyAccount = true;
  Reset(c);
  const auto read = [&](const std::string& account) {
    return receiver().Read(
        Frame("\"ADM-CID\"0001L0#" + account + "[#" + account + "|1130 01 015]"));
  };
  EXPECT_EQ(read("0000bbbb").EventLine(), "5114 18BBBBE13001015");
  EXPECT_EQ(read("0BB").EventLine(), "5114 1800BBE13001015");
  EXPECT_EQ(read("000").EventLine(), "5114 180000E13001015");
  EXPECT_EQ(read("AAAAAA").EventLine(), "5114 184321E13001015");  // the row wins
  journal.Clear();
  EXPECT_EQ(read("BBBBB").kind, Kind::Nak);
  EXPECT_EQ(read("bbbbb").kind, Kind::Nak);  // another spelling: journalled on its own
  EXPECT_EQ(read("BBBBB").kind, Kind::Nak);
  EXPECT_EQ(journal.Size(), 2u);
  clock.Advance(StandardDc09Receiver::kUnservedJournalMs - 1);
  read("BBBBB");
  EXPECT_EQ(journal.Size(), 2u);
  clock.Advance(1);
  read("BBBBB");
  EXPECT_EQ(journal.Size(), 3u);
  // Encrypted frames of unlisted accounts are never served.
  EXPECT_EQ(receiver()
                .Read(Frame("\"*ADM-CID\"0001L0#BBBB[" +
                            Encrypted(kKey128, "#BBBB|1130 01 015]_" + Stamp(0))))
                .kind,
            Kind::Nak);
}

TEST_F(StandardDc09Test, OutcomesGoWhereTheyShould) {
  feed.wardexClients = 1;
  feed.console2Clients = 1;
  device.portOpen = true;
  device.alive = true;
  const std::string event = "5114 18AAAAE13001015";
  // DUH and NAK: the reply and nothing else, with or without a client.
  feed.wardexClients = 0;
  EXPECT_EQ(Serve(Frame("\"ADM-CID\"0001L0#AAAA[#AAAA|5130 01 015]")).size(), 1u);
  EXPECT_EQ(Serve(Frame("\"ADM-CID\"0001L0#BBBB[#BBBB|1130 01 015]")), std::vector{Dc09Nak(kNow)});
  feed.wardexClients = 1;
  EXPECT_EQ(Serve(Frame("\"ADM-CID\"0001L0#BBBB[#BBBB|1130 01 015]")).size(), 1u);
  EXPECT_TRUE(feed.wardex.empty());
  EXPECT_TRUE(feed.console2.empty());
  EXPECT_TRUE(device.written.empty());  // no trouble line either
  EXPECT_TRUE(list.Rows().empty());

  // An event: ACK, clients, console, module row (receiver 11, line 4).
  EXPECT_EQ(Serve(Frame("\"ADM-CID\"0002L0#AAAA[#AAAA|1130 01 015]")),
            std::vector{sim::Dc09Frame("\"ACK\"0002L0#AAAA[]")});
  EXPECT_EQ(feed.wardex, std::vector<std::string>{"MLR;" + event + "\r;MLR_EVENT|"});
  EXPECT_EQ(feed.console2, std::vector<std::string>{event + "\r"});
  EXPECT_EQ(device.written, event + kDC4);
  ASSERT_EQ(list.Rows().size(), 1u);
  EXPECT_EQ(list.Rows()[0].caption, "AAAA");
  EXPECT_EQ(list.Rows()[0].receiver, "11");
  EXPECT_EQ(list.Rows()[0].line, "4");
  EXPECT_EQ(list.Rows()[0].state, "+");

  // A console that does not answer: queued when storing offline.
  device.alive = false;
  settings.storeOffline = true;
  Serve(Frame("\"ADM-CID\"0003L0#AAAA[#AAAA|3130 01 015]"));
  EXPECT_EQ(consoleQueue.Snapshot(),
            std::vector<std::string>{"5114 18AAAAR13001015" + std::string(1, kDC4)});

  // A link test makes a row too; a periodic test is not forwarded.
  feed.wardex.clear();
  Serve(Frame("\"NULL\"0004L0#AAAAAA[]"));
  Serve(Frame("\"ADM-CID\"0005L0#AAAA[#AAAA|1602 00 000]"));
  EXPECT_TRUE(feed.wardex.empty());
  ASSERT_EQ(list.Rows().size(), 2u);
  EXPECT_EQ(list.Rows()[1].caption, "4321");
}

TEST_F(StandardDc09Test, SilentAccountsGetLossAndRestore) {
  Dc09Config c = Config();
  c.checkPlainTime = true;
  Reset(c);
  Serve(Frame("\"NULL\"0001L0#AAAA[]"));
  clock.Advance(uint32_t(settings.silenceLimitSeconds) * 1000);
  modules.LossCheck();
  EXPECT_TRUE(consoleQueue.Snapshot().empty());  // at the limit: not yet
  clock.Advance(1000);
  modules.LossCheck();
  EXPECT_EQ(consoleQueue.Snapshot(), std::vector<std::string>{"5114 18AAAAE35600000"});
  consoleQueue.Clear();
  // A NAK (stamp far outside the window) is not being heard; the next
  // served frame is.
  Serve(Frame("\"ADM-CID\"0002L0#AAAA[#AAAA|1130 01 015]_" + Stamp(0)));
  EXPECT_TRUE(consoleQueue.Snapshot().empty());
  Serve(Frame("\"NULL\"0003L0#AAAA[]"));
  EXPECT_EQ(consoleQueue.Snapshot(), std::vector<std::string>{"5114 18AAAAR35600000"});
}

TEST_F(StandardDc09Test, AnAccountHeardManyTimesASecondRedrawsItsRowOnce) {
  int changes = 0;
  modules.onChanged = [&] { ++changes; };
  for (int i = 0; i < 3; ++i) Serve(Frame("\"NULL\"0001L0#AAAA[]"));
  EXPECT_EQ(changes, 1);  // the new row
  clock.Advance(999);
  Serve(Frame("\"NULL\"0002L0#AAAA[]"));
  EXPECT_EQ(changes, 1);
  clock.Advance(1);  // the shown time moves on
  Serve(Frame("\"NULL\"0003L0#AAAA[]"));
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(list.Rows()[0].timeText, ModuleTimeText(clock.Now()));
}

TEST_F(StandardDc09Test, UdpReceiverHandsFramesOnButAnswersABareProbe) {
  AdmCidParser parser{modules, output, settings};
  Dc09Receiver udp{clock, journal, trace, output, device, settings, ports, feed, parser};
  udp.SetStandard([this](std::string_view d, const Dc09Receiver::Reply& reply,
                         const std::string& sender) { receiver().Serve(d, reply, sender); });
  std::vector<std::string> replies;
  const auto handle = [&](const std::string& d) {
    replies.clear();
    udp.Handle(d, [&](const std::string& r) { replies.push_back(r); });
  };
  handle("REQ");
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[1], "\r");
  handle(Frame("\"SIA-DCS\"0001L0#AAAA[#AAAA|NREQ]"));  // a frame holding REQ: code RE
  EXPECT_EQ(replies, std::vector{sim::Dc09Frame("\"ACK\"0001L0#AAAA[]")});
  handle(Frame("\"ADM-CID\"0001L0#AAAA[#AAAA|1130 01 015]"));
  EXPECT_EQ(replies, std::vector{sim::Dc09Frame("\"ACK\"0001L0#AAAA[]")});
  handle("\"ADM-CID\"0001L0#1234[#1234|1130 01 015]");  // no LF: NAK, not the ADM-CID parser
  EXPECT_EQ(replies, std::vector{Dc09Nak(kNow)});
}

// With the event store, an ACK leaves once its row is committed; a NAK,
// DUH or link test behind it on the same sender waits for it; a row that
// cannot be written answers NAK and the event goes nowhere.
TEST_F(StandardDc09Test, AckWaitsForTheStoreAndNothingOvertakesIt) {
  test::ManualEventLog log;
  receiver().SetEventLog(&log);
  feed.wardexClients = 1;
  std::vector<std::string> sent;
  const auto serve = [&](const std::string& bytes, const std::string& sender) {
    receiver().Serve(
        bytes, [&sent, sender](const std::string& r) { sent.push_back(sender + " " + r); }, sender,
        "8005");
  };
  const std::string event = Frame("\"ADM-CID\"0001L0#AAAA[#AAAA|1130 01 015]");
  serve(event, "a");
  serve(Frame("\"NULL\"0002L0#AAAA[]"), "a");                      // link test: no row
  serve(Frame("\"ADM-CID\"0003L0#AAAA[#AAAA|5130 01 015]"), "a");  // DUH
  serve(Frame("\"NULL\"0004L0#AAAA[]"), "b");                      // another sender goes at once
  EXPECT_EQ(sent, std::vector<std::string>{"b " + Frame("\"ACK\"0004L0#AAAA[]")});
  EXPECT_TRUE(feed.wardex.empty());
  ASSERT_EQ(log.rows.size(), 1u);
  EXPECT_EQ(log.rows[0].road, "dc09");
  EXPECT_EQ(log.rows[0].line, "8005");
  EXPECT_EQ(log.rows[0].peer, "a");
  EXPECT_EQ(log.rows[0].raw, event);
  EXPECT_EQ(log.rows[0].consoleText, "5114 18AAAAE13001015" + std::string(1, kDC4));

  log.Complete(true);
  EXPECT_EQ(sent, (std::vector<std::string>{
                      "b " + Frame("\"ACK\"0004L0#AAAA[]"), "a " + Frame("\"ACK\"0001L0#AAAA[]"),
                      "a " + Frame("\"ACK\"0002L0#AAAA[]"), "a " + Frame("\"DUH\"0003L0#AAAA[]")}));
  EXPECT_EQ(feed.wardex, std::vector<std::string>{"MLR;5114 18AAAAE13001015\r;MLR_EVENT|"});

  // A failed write: NAK with the receiver's time, nothing forwarded.
  sent.clear();
  feed.wardex.clear();
  serve(Frame("\"ADM-CID\"0005L0#AAAA[#AAAA|1130 01 016]"), "a");
  log.Complete(false);
  EXPECT_EQ(sent, std::vector<std::string>{"a " + Dc09Nak(kNow)});
  EXPECT_TRUE(feed.wardex.empty());

  // A periodic test is a row kept from the console, acknowledged once stored.
  serve(Frame("\"ADM-CID\"0006L0#AAAA[#AAAA|1602 00 000]"), "a");
  ASSERT_EQ(log.rows.size(), 3u);
  EXPECT_EQ(log.rows[2].console, EventFate::NotForConsole);
  log.Complete(true);
  EXPECT_EQ(sent.back(), "a " + Frame("\"ACK\"0006L0#AAAA[]"));
  EXPECT_TRUE(feed.wardex.empty());
}

}  // namespace
}  // namespace quell
