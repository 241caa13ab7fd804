// The frames real panels send to the standard DC-09 receiver: each CRC form
// (raw bytes, CR included), each header form, each SIA-DCS block form, SIA
// codes without a row, and retransmissions delivered once. Every frame is
// for an account the receiver serves, so a NAK can only come from the form
// under test. Frames are made by the simulator's own framing.
#include <gtest/gtest.h>

#include <QTimeZone>
#include <algorithm>

#include "core/cp1251.h"
#include "core/dc09/aes_cbc.h"
#include "core/dc09/dc09_stamp.h"
#include "core/hex.h"
#include "ip/dc09/standard_receiver.h"
#include "ip/dc09/standard_replies.h"
#include "ip/dc09/stream_framer.h"
#include "sim/dc09/dc09_frame.h"
#include "tests/ip/dc09_test_frames.h"
#include "tests/ip/ip_fixture.h"
#include "tests/support/manual_event_log.h"

namespace quell {
namespace {

using Kind = Dc09Outcome::Kind;
using sim::Dc09CrcForm;

const QDateTime& kNow = test::kDc09Now;
const std::string& kKey = test::kDc09Key128;
using test::Stamp;

std::string Encrypted(const std::string& text, char pad = '0', const std::string& key = kKey) {
  return test::Encrypted(key, text, true, pad);
}

std::string Seq(int n) {
  char s[8];
  std::snprintf(s, sizeof s, "%04d", n);
  return s;
}

Dc09Form GatewayForm(Dc09CrcForm f) {
  return f == Dc09CrcForm::Raw     ? Dc09Form::Raw
         : f == Dc09CrcForm::HexCr ? Dc09Form::HexCr
         : f == Dc09CrcForm::RawCr ? Dc09Form::RawCr
                                   : Dc09Form::Hex;
}

// A sequence whose frame's CRC (in form) holds the byte wanted, high or low.
std::string FrameWithCrcByte(Dc09CrcForm form, char wanted) {
  const bool cr = form == Dc09CrcForm::HexCr || form == Dc09CrcForm::RawCr;
  for (int n = 0; n < 10000; ++n) {
    const std::string body = "\"ADM-CID\"" + Seq(n) + "L0#AAAA[#AAAA|1130 01 015]";
    const uint16_t crc = sim::Dc09Crc(cr ? body + "\r" : body);
    if (char(crc >> 8) == wanted || char(crc & 0xFF) == wanted) return sim::Dc09Frame(body, form);
  }
  ADD_FAILURE() << "no sequence gives that CRC byte";
  return {};
}

class Dc09FormsTest : public test::IpFixture {
 protected:
  Dc09FormsTest() {
    clock.SetNow(kNow);
    config.accounts = {{"AAAA", "AAAA", {}},  {"7303658550", "0855", {}}, {"1997", "1997", {}},
                       {"9999", "9999", {}},  {"FOC7688", "7688", {}},    {"123F", "123F", kKey},
                       {"36214", "6214", {}}, {"0001", "0001", {}}};
    sia.present = true;
    sia.codes = {{"BA", "E130"}, {"BR", "R130"}, {"FA", "E110"}, {"RP", "E602"}};
  }

  StandardDc09Receiver& receiver() {
    if (!receiver_)
      receiver_ = std::make_unique<StandardDc09Receiver>(
          StandardDc09Receiver::Parts{clock, journal, trace, output, device, settings, feed,
                                      modules},
          config, sia);
    return *receiver_;
  }
  std::vector<std::string> Serve(const std::string& bytes, const std::string& sender = "a") {
    std::vector<std::string> replies;
    receiver().Serve(
        bytes, [&](const std::string& r) { replies.push_back(r); }, sender, "8005");
    return replies;
  }
  std::vector<std::string> Lines(const Dc09Outcome& o) {
    std::vector<std::string> lines;
    for (const Dc09Event& e : o.events) lines.push_back(e.line);
    return lines;
  }

  Dc09Config config;
  SiaToCidTable sia;
  test::FakeClientFeed feed;
  IpModuleList list;
  IpModuleSupervision modules{clock, list, settings, notices, output};
  std::unique_ptr<StandardDc09Receiver> receiver_;
};

TEST_F(Dc09FormsTest, EachCrcFormIsAnsweredInItsOwnForm) {
  for (Dc09CrcForm form :
       {Dc09CrcForm::Hex, Dc09CrcForm::Raw, Dc09CrcForm::HexCr, Dc09CrcForm::RawCr}) {
    // Raw CRC bytes that look like the frame's own delimiters.
    for (char byte : {'\n', '\r', '"', '0'}) {
      const std::string frame = FrameWithCrcByte(form, byte);
      SCOPED_TRACE(int(form) * 1000 + byte);
      const Dc09Outcome o = receiver().Read(frame);
      ASSERT_EQ(o.kind, Kind::Ack);
      EXPECT_EQ(o.EventLine(), "5114 18AAAAE13001015");
      const std::string seq = frame.substr(frame.find('"', 7) + 9, 4);
      EXPECT_EQ(o.reply, sim::Dc09Frame("\"ACK\"" + seq + "L0#AAAA[]", form));
      const sim::Dc09Reply r = sim::ParseDc09Reply(o.reply);
      EXPECT_TRUE(r.crcOk && r.lengthOk);
      EXPECT_EQ(r.form, form);
      // A NUL after the CR changes nothing in a datagram.
      EXPECT_EQ(receiver().Read(frame + '\0').reply, o.reply);
    }
  }
}

TEST_F(Dc09FormsTest, RefusalsAndDuhComeInTheFrameFormButAFrameThatVerifiesNowhereGetsHexNak) {
  for (Dc09CrcForm form : {Dc09CrcForm::Raw, Dc09CrcForm::RawCr, Dc09CrcForm::HexCr}) {
    SCOPED_TRACE(int(form));
    const Dc09Form gw = GatewayForm(form);
    EXPECT_EQ(
        receiver().Read(sim::Dc09Frame("\"ADM-CID\"0001L0#BBBB[#BBBB|1130 01 015]", form)).reply,
        Dc09Nak(kNow, gw));  // account not served
    EXPECT_EQ(
        receiver().Read(sim::Dc09Frame("\"ADM-CID\"0001L0#AAAA[#AAAA|5130 01 015]", form)).reply,
        sim::Dc09Frame("\"DUH\"0001L0#AAAA[]", form));
    const Dc09Outcome enc = receiver().Read(sim::Dc09Frame(
        "\"*ADM-CID\"0002L0#123F[" + Encrypted("#123F|1130 01 015]_" + Stamp(0)), form));
    ASSERT_EQ(enc.kind, Kind::Ack);
    EXPECT_EQ(sim::ParseDc09Reply(enc.reply).form, form);
    EXPECT_EQ(sim::ParseDc09Reply(enc.reply).kind, sim::Dc09Reply::Kind::EncryptedAck);
    // A stale stamp: NAK in the frame's form.
    EXPECT_EQ(
        receiver()
            .Read(sim::Dc09Frame(
                "\"*ADM-CID\"0003L0#123F[" + Encrypted("#123F|1130 01 015]_" + Stamp(-41)), form))
            .reply,
        Dc09Nak(kNow, gw));
  }
  std::string broken =
      sim::Dc09Frame("\"ADM-CID\"0001L0#AAAA[#AAAA|1130 01 015]", Dc09CrcForm::Raw);
  broken[1] = char(broken[1] ^ 0x55);
  EXPECT_EQ(receiver().Read(broken).reply, Dc09Nak(kNow));
  // The hex CRC of the body, with a CR-form length: it verifies over the body.
  std::string cr = sim::Dc09Frame("\"ADM-CID\"0001L0#AAAA[#AAAA|1130 01 015]", Dc09CrcForm::HexCr);
  cr[1] = char(cr[1] ^ 1);
  EXPECT_EQ(receiver().Read(cr).reply, Dc09Nak(kNow));
}

TEST_F(Dc09FormsTest, TcpFramerFindsTheEndOfRawFramesSplitAtEveryByte) {
  for (Dc09CrcForm form : {Dc09CrcForm::Raw, Dc09CrcForm::RawCr}) {
    for (char byte : {'\n', '\r', '"', '0'}) {
      const std::string frame = FrameWithCrcByte(form, byte);
      const std::string next = sim::Dc09Frame("\"NULL\"0009L0#AAAA[]");
      for (size_t split = 1; split < frame.size() + next.size(); ++split) {
        const std::string stream = frame + next;
        Dc09StreamFramer framer;
        std::vector<std::string> got;
        for (const auto& s : {stream.substr(0, split), stream.substr(split)})
          for (const auto& p : framer.Feed(s)) got.push_back(p.frame);
        ASSERT_EQ(got, (std::vector<std::string>{frame, next})) << int(byte) << " " << split;
      }
      EXPECT_EQ(receiver().Read(frame).kind, Kind::Ack);
    }
  }
}

TEST_F(Dc09FormsTest, HeaderFormsEchoedAsReceived) {
  struct {
    const char* what;
    std::string body;
    std::string ack;  // the reply's body
    std::string event;
  } cases[] = {
      {"L with no digits", "\"ADM-CID\"0001L#7303658550[#7303658550|1130 01 015]",
       "\"ACK\"0001L#7303658550[]", "5114 180855E13001015"},
      {"no L at all", "\"NULL\"0002#1997[]", "\"ACK\"0002#1997[]", ""},
      {"no header account: the data's", "\"SIA-DCS\"0003L[#9999|NBA2]", "\"ACK\"0003L[]",
       "5114 189999E13000002"},
      {"account letters beyond F, lower case", "\"ADM-CID\"0004L0#foc7688[#foc7688|1130 01 015]",
       "\"ACK\"0004L0#foc7688[]", "5114 187688E13001015"},
      {"R with no digits", "\"NULL\"0005RL0#AAAA[]", "\"ACK\"0005RL0#AAAA[]", ""},
      {"R and no L", "\"NULL\"0006R12#AAAA[]", "\"ACK\"0006R12#AAAA[]", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Dc09Outcome o = receiver().Read(sim::Dc09Frame(c.body));
    EXPECT_EQ(o.reply, sim::Dc09Frame(c.ack));
    EXPECT_EQ(o.EventLine(), c.event);
  }
  // An encrypted frame without a header account has no key to choose.
  EXPECT_EQ(
      receiver()
          .Read(sim::Dc09Frame("\"*ADM-CID\"0007L0[" + Encrypted("#123F|1130 01 015]_" + Stamp(0))))
          .kind,
      Kind::Nak);
  EXPECT_EQ(receiver().Read(sim::Dc09Frame("\"ADM-CID\"0008L0[1130 01 015]")).kind, Kind::Nak);
  EXPECT_EQ(receiver().Read(sim::Dc09Frame("\"ADM-CID\"0009L0#01234567890123456[]")).kind,
            Kind::Nak);  // 17 characters
  EXPECT_EQ(receiver().Read(sim::Dc09Frame("\"NULL\"0010L1234567#AAAA[]")).kind, Kind::Nak);
}

TEST_F(Dc09FormsTest, AnyAccountServesOnlyWhatCanBeAConsoleAccount) {
  config.anyAccount = true;
  const auto read = [&](const std::string& a) {
    return receiver().Read(sim::Dc09Frame("\"ADM-CID\"0001L0#" + a + "[#" + a + "|1130 01 015]"));
  };
  EXPECT_EQ(read("00BEEF").EventLine(), "5114 18BEEFE13001015");
  EXPECT_EQ(read("000").EventLine(), "5114 180000E13001015");
  EXPECT_EQ(read("00BEEG").kind, Kind::Nak);  // G is no hex digit
  EXPECT_EQ(read("1BEEF").kind, Kind::Nak);   // five digits
}

TEST_F(Dc09FormsTest, SiaDcsBlockForms) {
  struct {
    const char* what;
    std::string data;
    std::vector<std::string> events;  // Contact ID part of each line
  } cases[] = {
      {"lower-case code with a row is an event", "#AAAA|Nri1/ba501", {"E13001501"}},
      {"ti with seconds, da, periodic test", "#AAAA|Nti10:01:00/da08-18-24/RP", {"E60200000"}},
      {"da with a four-digit year", "#AAAA|Nda08-18-2024/BA1", {"E13000001"}},
      {"fields split by |, text ends", "#AAAA|Nti10:15|ri4|FA2|AFire Zone 2", {"E11004002"}},
      {"the /A text form is not an event", "#AAAA|NFA2/AFire Zone 2", {"E11000002"}},
      {"a text starting like a code is no event", "#AAAA|NFA2/ATTIC", {"E11000002"}},
      {"pi kept apart from the group", "#AAAA|Nri3/pi7/BA5", {"E13003005"}},
      {"an extra field before the event", "#0001|0|NRP", {"E60200000"}},
      {"data account without #", "36214|NBA1", {"E13000001"}},
      {"modifiers after the last event are its", "#AAAA|NBA1021/ri01/ti07:38", {"E13001000"}},
      {"modifiers apply to the events after them",
       "#AAAA|NBA1/ri2/BA3/BR4",
       {"E13000001", "E13002003", "R13002004"}},
      {"an unknown lower-case pair is a modifier", "#AAAA|Nlp5/BA1", {"E13000001"}},
      {"a later code must have a row", "#AAAA|Nri1/BA1/XX2", {"E13001001"}},
      {"a later code must be upper case", "#AAAA|Nri1/BA1/ba2", {"E13001001"}},
      {"ri over 99 gives group 00", "#AAAA|Nri100/BA5", {"E13000005"}},
      {"zone over 999 gives 000", "#AAAA|NBA1000", {"E13000000"}},
      {"text in carets ends", "#AAAA|Nri12/FA12^Kitchen^/BA1", {"E11012012"}},
      {"no event", "#AAAA|Nri1", {}},
      {"a modifier that does not read ends before any event", "#AAAA|Nti1:5/BA1", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Dc09Outcome o = receiver().Read(sim::Dc09Frame("\"SIA-DCS\"0001L0#AAAA[" + c.data + "]"));
    std::vector<std::string> got;
    for (const std::string& line : Lines(o)) got.push_back(line.substr(11));
    EXPECT_EQ(got, c.events);
    EXPECT_EQ(o.kind, c.events.empty() ? Kind::Duh : Kind::Ack);
  }
  const Dc09Outcome pi = receiver().Read(sim::Dc09Frame("\"SIA-DCS\"0001L0#AAAA[#AAAA|Npi7/BA5]"));
  ASSERT_EQ(pi.events.size(), 1u);
  EXPECT_EQ(pi.events[0].sia, "BA5/pi7");
  receiver().Read(sim::Dc09Frame("\"SIA-DCS\"0001L0#AAAA[#AAAA|NBA1000]"));
  const std::vector<std::string> lines = trace.Lines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
    return l.find("SIA BA1000: zone over 999") != std::string::npos;
  }));
}

TEST_F(Dc09FormsTest, TheEventsOfAFrameAreOneGroupWithOneAck) {
  test::ManualEventLog log;
  receiver().SetEventLog(&log);
  feed.wardexClients = 1;
  const std::string frame = sim::Dc09Frame("\"SIA-DCS\"0001L0#AAAA[#AAAA|NBA1/BR2/RP]");
  std::vector<std::string> replies;
  receiver().Serve(
      frame, [&](const std::string& r) { replies.push_back(r); }, "a");
  EXPECT_TRUE(replies.empty());
  ASSERT_EQ(log.rows.size(), 3u);
  EXPECT_EQ(log.waiting.size(), 1u);  // one completion: one commit
  for (const EventRow& r : log.rows) {
    EXPECT_EQ(r.raw, frame);
    EXPECT_EQ(r.peer, "a");
    EXPECT_EQ(r.copyKey, log.rows[0].copyKey);
  }
  EXPECT_EQ(log.rows[1].seq, log.rows[0].seq + 1);
  EXPECT_EQ(log.rows[0].sia, "BA1");
  EXPECT_EQ(log.rows[2].console, EventFate::NotForConsole);
  receiver().Serve(
      frame, [&](const std::string& r) { replies.push_back(r); }, "b");  // a copy
  log.Complete(true);
  EXPECT_EQ(replies, std::vector<std::string>(2, sim::Dc09Frame("\"ACK\"0001L0#AAAA[]")));
  EXPECT_EQ(feed.wardex, (std::vector<std::string>{"MLR;5114 18AAAAE13000001\r;MLR_EVENT|",
                                                   "MLR;5114 18AAAAR13000002\r;MLR_EVENT|"}));
  EXPECT_EQ(list.Rows().size(), 1u);
  // A failed commit: NAK, nothing forwarded.
  feed.wardex.clear();
  std::vector<std::string> failed;
  receiver().Serve(
      sim::Dc09Frame("\"SIA-DCS\"0002L0#AAAA[#AAAA|NBA1/BR2]"),
      [&](const std::string& r) { failed.push_back(r); }, "a");
  log.Complete(false);
  EXPECT_EQ(failed, std::vector<std::string>{Dc09Nak(kNow)});
  EXPECT_TRUE(feed.wardex.empty());
}

TEST_F(Dc09FormsTest, CodesWithoutARowAreForwardedAsTheUnmappedCode) {
  const auto line = [&](const std::string& code, const std::string& account = "AAAA") {
    return receiver()
        .Read(sim::Dc09Frame("\"SIA-DCS\"0001L0#" + account + "[#" + account + "|Nri2/" + code +
                             "7]"))
        .EventLine();
  };
  EXPECT_EQ(line("XA"), "5114 18AAAAE75002007");
  for (const char* restore : {"XR", "XH", "XJ", "XK", "XU"})
    EXPECT_EQ(line(restore).substr(11, 1), "R");
  // One journal line per code and account an hour.
  journal.Clear();
  line("QQ");
  line("QQ");
  EXPECT_EQ(journal.Size(), 1u);
  EXPECT_NE(journal.Entries()[0].find("QQ"), std::string::npos);
  line("QQ", "9999");
  EXPECT_EQ(journal.Size(), 2u);
  clock.Advance(StandardDc09Receiver::kUnmappedJournalMs - 1);
  line("QQ");
  EXPECT_EQ(journal.Size(), 2u);
  clock.Advance(1);
  line("QQ");
  EXPECT_EQ(journal.Size(), 3u);

  config.unmappedSia = "799";
  receiver_.reset();
  EXPECT_EQ(line("XA"), "5114 18AAAAE79902007");
  config.unmappedSia.reset();  // UnmappedSia=DUH: the answer as before
  receiver_.reset();
  EXPECT_EQ(receiver().Read(sim::Dc09Frame("\"SIA-DCS\"0001L0#AAAA[#AAAA|Nri2/XA7]")).kind,
            Kind::Duh);
}

// A retransmission (same header, token, sequence and data) is acknowledged
// again and delivered once.
TEST_F(Dc09FormsTest, RetransmissionsAreAcknowledgedButDeliveredOnce) {
  feed.wardexClients = 1;
  const auto frame = [](int seq, int zone = 15) {
    char data[40];
    std::snprintf(data, sizeof data, "#AAAA|1130 01 %03d]", zone);
    return sim::Dc09Frame("\"ADM-CID\"" + Seq(seq) + "L0#AAAA[" + data);
  };
  for (int seq : {9995, 9996, 9995, 9997})
    EXPECT_EQ(Serve(frame(seq)), std::vector{sim::Dc09Frame("\"ACK\"" + Seq(seq) + "L0#AAAA[]")});
  EXPECT_EQ(feed.wardex.size(), 3u);

  // The 16th frame back is a copy, the 17th a new frame.
  feed.wardex.clear();
  for (int seq = 1; seq <= 16; ++seq) Serve(frame(seq, 100));
  Serve(frame(1, 100));
  EXPECT_EQ(feed.wardex.size(), 16u);
  Serve(frame(17, 100));
  Serve(frame(1, 100));
  EXPECT_EQ(feed.wardex.size(), 18u);

  // Two minutes after the first copy still a copy; a millisecond more, new.
  feed.wardex.clear();
  Serve(frame(100));
  clock.Advance(Dc09CopyMemory::kWindowMs);
  Serve(frame(100));
  EXPECT_EQ(feed.wardex.size(), 1u);
  Serve(frame(101));
  clock.Advance(Dc09CopyMemory::kWindowMs + 1);
  Serve(frame(101));
  EXPECT_EQ(feed.wardex.size(), 3u);

  // The same alarm from a panel whose counter does not move, 3 minutes apart.
  feed.wardex.clear();
  Serve(frame(200));
  clock.Advance(180'000);
  Serve(frame(200));
  EXPECT_EQ(feed.wardex.size(), 2u);

  // Another field makes another frame: a different zone, line or account.
  feed.wardex.clear();
  Serve(frame(300, 1));
  Serve(frame(300, 2));
  Serve(sim::Dc09Frame("\"ADM-CID\"0300L1#AAAA[#AAAA|1130 01 001]"));
  EXPECT_EQ(feed.wardex.size(), 3u);
}

TEST_F(Dc09FormsTest, AnEncryptedRetryWithNewPadAndStampIsACopy) {
  feed.wardexClients = 1;
  const std::string first =
      sim::Dc09Frame("\"*ADM-CID\"0042L0#123F[" + Encrypted("#123F|1130 01 015]_" + Stamp(0)));
  clock.Advance(7000);
  clock.SetNow(kNow.addSecs(7));
  const std::string retry =
      sim::Dc09Frame("\"*ADM-CID\"0042L0#123F[" + Encrypted("#123F|1130 01 015]_" + Stamp(7), 'X'));
  ASSERT_NE(first, retry);
  EXPECT_EQ(Serve(first).size(), 1u);
  const std::vector<std::string> again = Serve(retry);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(sim::ParseDc09Reply(again[0]).kind, sim::Dc09Reply::Kind::EncryptedAck);
  EXPECT_EQ(feed.wardex.size(), 1u);
}

TEST_F(Dc09FormsTest, ACopyWhileTheFirstIsCommittingGetsItsOutcome) {
  test::ManualEventLog log;
  receiver().SetEventLog(&log);
  feed.wardexClients = 1;
  const std::string frame = sim::Dc09Frame("\"ADM-CID\"0001L0#AAAA[#AAAA|1130 01 015]");
  const std::string ack = sim::Dc09Frame("\"ACK\"0001L0#AAAA[]");
  std::vector<std::string> sent;
  const auto serve = [&](const std::string& sender) {
    receiver().Serve(
        frame, [&sent, sender](const std::string& r) { sent.push_back(sender + r); }, sender,
        "8005");
  };
  serve("a");
  serve("b");  // the retry came from another port
  EXPECT_EQ(log.rows.size(), 1u);
  EXPECT_TRUE(sent.empty());
  log.Complete(false);
  EXPECT_EQ(sent, (std::vector<std::string>{"a" + Dc09Nak(kNow), "b" + Dc09Nak(kNow)}));
  // After a NAK the next copy is a new frame.
  sent.clear();
  serve("a");
  serve("a");
  EXPECT_EQ(log.rows.size(), 2u);
  log.Complete(true);
  EXPECT_EQ(sent, (std::vector<std::string>{"a" + ack, "a" + ack}));
  EXPECT_EQ(feed.wardex.size(), 1u);
}

TEST_F(Dc09FormsTest, CopiesReadBackAfterARestartAreNotDeliveredAgain) {
  feed.wardexClients = 1;
  const std::string frame = sim::Dc09Frame("\"ADM-CID\"0001L0#AAAA[#AAAA|1130 01 015]");
  const Dc09Outcome o = receiver().Read(frame);
  const int64_t nowMs = kNow.toMSecsSinceEpoch();
  receiver().RememberCopies({{nowMs - 60'000, o.copyKey}, {nowMs - 60'000, o.copyKey}}, nowMs);
  EXPECT_EQ(Serve(frame), std::vector{o.reply});
  EXPECT_TRUE(feed.wardex.empty());
  // One read back from before the window is no copy.
  receiver_.reset();
  receiver().RememberCopies({{nowMs - 120'001, o.copyKey}}, nowMs);
  Serve(frame);
  EXPECT_EQ(feed.wardex.size(), 1u);
}

// Every refusal gets a journal line saying why, at most one a minute per
// account and reason: a wrong key is told from a wrong account.
TEST_F(Dc09FormsTest, RefusalsAreExplainedInTheJournalOnceAMinute) {
  const std::string wrongKey =
      sim::Dc09Frame("\"*ADM-CID\"0001L0#123F[" +
                     Encrypted("#123F|1130 01 015]_" + Stamp(0), '0', "BBBBBBBBBBBBBBBB"));
  const std::string stale =
      sim::Dc09Frame("\"*ADM-CID\"0002L0#123F[" + Encrypted("#123F|1130 01 015]_" + Stamp(-41)));
  std::string badCrc = sim::Dc09Frame("\"NULL\"0003L0#AAAA[]");
  badCrc[1] = badCrc[1] == '0' ? '1' : '0';
  const std::string duh = sim::Dc09Frame("\"ADM-485\"0004L0#AAAA[#AAAA|1130 01 015]");
  journal.Clear();
  for (int i = 0; i < 2; ++i)
    for (const std::string& f : {wrongKey, stale, badCrc, duh}) Serve(f, "10.0.0.7:5000");
  ASSERT_EQ(journal.Size(), 4u);
  const auto has = [&](const std::string& text) {
    return std::any_of(journal.Entries().begin(), journal.Entries().end(),
                       [&](const std::string& e) { return e.find(text) != std::string::npos; });
  };
  EXPECT_TRUE(
      has(W("счёт 123F, NAK: кадр не расшифровывается ключом счёта (неверный ключ?), от "
            "10.0.0.7:5000")));
  EXPECT_TRUE(
      has(W("время кадра ") + Stamp(-41) + W(" вне окна -40..+20 с от времени шлюза ") + Stamp(0)));
  EXPECT_TRUE(has(W("CRC кадра не сходится")));
  EXPECT_TRUE(has(W("DUH: токен ADM-485 не обслуживается")));
  clock.Advance(RefusalJournal::kWindowMs);
  Serve(wrongKey, "10.0.0.7:5000");
  EXPECT_EQ(journal.Size(), 5u);
}

// Counts what the monitoring surface is told.
class CountingMeter final : public Meter {
 public:
  void Reply(Road road, ReplyKind kind, SteadyTime) override {
    if (road == Road::Dc09) ++replies[int(kind)];
  }
  void Dc09Refused(Dc09Refusal reason) override { ++refused[int(reason)]; }
  void Dc09Copy() override { ++copies; }
  void AccessRefused(int) override {}
  void Committed(const std::vector<EventRow>&, double) override {}
  void Pending(const PendingFigures&) override {}
  void CommitFailed() override {}
  void Recent(const std::vector<EventRow>&) override {}
  int replies[kReplyKindCount] = {};
  int refused[kDc09RefusalCount] = {};
  int copies = 0;
};

TEST_F(Dc09FormsTest, RepliesRefusalsAndCopiesAreCounted) {
  CountingMeter meter;
  receiver().SetMeter(&meter);
  test::ManualEventLog log;
  receiver().SetEventLog(&log);
  std::vector<std::string> replies;
  const auto serve = [&](const std::string& f) {
    receiver().Serve(
        f, [&](const std::string& r) { replies.push_back(r); }, "a");
  };
  const std::string event = sim::Dc09Frame("\"ADM-CID\"0001L0#AAAA[#AAAA|1130 01 015]");
  serve(event);
  serve(event);  // a copy while the first is stored
  log.Complete(true);
  serve(sim::Dc09Frame("\"ADM-CID\"0002L0#BBBB[#BBBB|1130 01 015]"));  // account
  serve(sim::Dc09Frame("\"ADM-CID\"0003L0#123F[#123F|1130 01 015]"));  // key
  serve(sim::Dc09Frame("\"ADM-485\"0004L0#AAAA[]"));                   // DUH
  serve(sim::Dc09Frame("\"ADM-CID\"0005L0#AAAA[#AAAA|1130 01 016]"));
  log.Complete(false);  // a failed commit: its NAK is no refusal
  EXPECT_EQ(replies.size(), 6u);
  EXPECT_EQ(meter.replies[int(ReplyKind::Ack)], 2);
  EXPECT_EQ(meter.replies[int(ReplyKind::Nak)], 3);
  EXPECT_EQ(meter.replies[int(ReplyKind::Duh)], 1);
  EXPECT_EQ(meter.refused[int(Dc09Refusal::Account)], 1);
  EXPECT_EQ(meter.refused[int(Dc09Refusal::Key)], 1);
  EXPECT_EQ(meter.copies, 1);
}

}  // namespace
}  // namespace quell
