#include "sim/modem/sim_modem.h"

#include <gtest/gtest.h>

#include "tests/sim/modem_fixture.h"

namespace quell::sim::test {
namespace {

const std::string kOk = Framed({"OK"});
const std::string kError = Framed({"ERROR"});

TEST(SimModem, RepliesToCommands) {
  struct Case {
    std::string command, reply;
  };
  const Case cases[] = {
      {"AT", kOk},
      {"at", kOk},
      {"ATV1Q0E1", kOk},
      {"ATV1Q0E1S0=0", kOk},
      {"ATZ", kOk},
      {"AT&F", kOk},
      {"ATS0?", kOk},
      {"ATS0", kError},  // a register wants "=" or "?"
      {"AT&", kError},
      {"ATE1D", kError},  // D only as a command of its own
      {"AT+CLIP=1", kOk},
      {"at+cnmi=2,1", kOk},
      {"AT+CMGF=1", kOk},
      {"AT^CURC=1", kOk},
      {"AT+FOO=1", kError},
      {"AT+FOO", kError},
      {"AT+CLIP?", kError},
      {"AT+CLIP=?", kError},
      {"AT+CSQ", Framed({"+CSQ: 20,99", "OK"})},
      {"AT+CSQ=?", kError},
      {"ATD123", kError},  // no ";": a data call
      {"ATD12A3;", kError},
      {"ATD;", kError},
      {"ATD+7*1#2,3;", Framed({"OK", "^ORIG:1,0"})},
      {"ATA", Framed({"NO CARRIER"})},
      {"ATH", kOk},
      {"ATH0", kOk},
      {"AT+CMGL", kOk},
      {"AT+CMGL=\"BOGUS\"", kError},
      {"AT+CMGR=1", Framed({"+CMS ERROR: 321"})},
      {"AT+CMGR=x", kError},
      {"AT+CMGD=1", kOk},
      {"AT+CMGD=1,4", kOk},
      {"AT+CMGD=1,5", kError},
      {"+++AT+CSQ", Framed({"+CSQ: 20,99", "OK"})},
      {"hello", ""},  // no attention prefix: ignored
      {"", ""},
  };
  for (const Case& c : cases) {
    ModemUnderTest m;
    EXPECT_EQ(m.Command(c.command), c.reply) << c.command;
  }
}

TEST(SimModem, EchoFollowsOptionAndCommands) {
  struct Case {
    bool echo;
    std::vector<std::pair<std::string, std::string>> exchange;  // line sent, bytes back
  };
  const Case cases[] = {
      {true, {{"AT", "AT\r" + kOk}}},
      {true, {{"ATE0", "ATE0\r" + kOk}, {"AT", kOk}}},
      {true, {{"ATV1Q0E0", "ATV1Q0E0\r" + kOk}, {"AT", kOk}}},
      {true, {{"ATE", "ATE\r" + kOk}, {"AT", kOk}}},  // E alone is E0
      {true, {{"ATE0", "ATE0\r" + kOk}, {"ATZ", kOk}, {"AT", "AT\r" + kOk}}},
      {true, {{"hello", "hello\r"}}},
      {false, {{"AT", kOk}, {"ATV1Q0E1", kOk}, {"AT", "AT\r" + kOk}}},
      {false, {{"ATE1", kOk}, {"AT+CSQ", "AT+CSQ\r" + Framed({"+CSQ: 20,99", "OK"})}}},
  };
  for (const Case& c : cases) {
    ModemOptions options;
    options.echo = c.echo;
    ModemUnderTest m(options);
    for (const auto& [line, reply] : c.exchange) EXPECT_EQ(m.Command(line), reply) << line;
  }
}

TEST(SimModem, RecordsCommandLinesAcrossChunks) {
  ModemUnderTest m;
  m.modem.Feed("A");
  m.modem.Feed("T\r\nATE0\r\n\r\n");
  m.modem.Feed("AT+CX\bSQ\r");  // a backspace takes the X out
  EXPECT_EQ(m.modem.Commands(), (std::vector<std::string>{"AT", "ATE0", "AT+CSQ"}));
}

TEST(SimModem, DiscardsOverlongLines) {
  ModemUnderTest m;
  EXPECT_EQ(m.Command("AT" + std::string(SimModem::kMaxLine, 'V')), kError);
  EXPECT_TRUE(m.modem.Commands().empty());
  EXPECT_EQ(m.Command("AT"), kOk);
}

TEST(SimModem, RingsUntilTheCallerGivesUp) {
  ModemOptions options = ModemUnderTest::Quiet();
  options.ringIntervalMs = 3000;
  options.ringCount = 3;
  ModemUnderTest m(options);
  const std::string ring = Framed({"RING", "+CLIP: \"+79001112233\",145,,,,0"});
  m.modem.IncomingCall("+79001112233");
  EXPECT_EQ(m.modem.TakeOutput(), ring);
  EXPECT_EQ(m.Advance(2999), "");
  EXPECT_EQ(m.Advance(1), ring);
  EXPECT_EQ(m.Advance(3000), ring);
  EXPECT_EQ(m.modem.RingsSent(), 3);
  EXPECT_EQ(m.Advance(2999), "");
  EXPECT_EQ(m.Advance(1), Framed({"^CEND:1,0,104,16", "NO CARRIER"}));
  EXPECT_EQ(m.modem.Phase(), CallPhase::Idle);
  EXPECT_EQ(m.Command("ATA"), Framed({"NO CARRIER"}));
  EXPECT_EQ(m.Advance(10000), "");
}

TEST(SimModem, CallerIdCarriesNumberAndType) {
  const std::pair<std::string, std::string> cases[] = {
      {"+79001112233", "+CLIP: \"+79001112233\",145,,,,0"},
      {"89001112233", "+CLIP: \"89001112233\",129,,,,0"},
      {"", "+CLIP: \"\",128,,,,0"},
  };
  for (const auto& [number, clip] : cases) {
    ModemUnderTest m;
    m.modem.IncomingCall(number);
    EXPECT_EQ(m.modem.TakeOutput(), Framed({"RING", clip}));
  }
}

struct FamilyCase {
  CallFamily family;
  std::string connected, remoteEnd, localEnd;  // framed
};

const FamilyCase kFamilies[] = {
    {CallFamily::Caret, Framed({"^CONN:1,0"}), Framed({"^CEND:1,4,104,16", "NO CARRIER"}),
     Framed({"OK", "^CEND:1,2,104,16"})},
    {CallFamily::Ecav, Framed({"*ECAV: 1,3,1"}), Framed({"*ECAV: 1,0,1", "NO CARRIER"}),
     Framed({"OK", "*ECAV: 1,0,1"})},
    {CallFamily::Wind, Framed({"+WIND: 9"}), Framed({"+WIND: 6,1", "NO CARRIER"}),
     Framed({"OK", "+WIND: 6,1"})},
};

TEST(SimModem, AnsweredCallEndsWhenTheCallerHangsUp) {
  for (const FamilyCase& c : kFamilies) {
    ModemOptions options = ModemUnderTest::Quiet();
    options.family = c.family;
    options.talkMs = 4000;
    ModemUnderTest m(options);
    m.modem.IncomingCall("+79001112233");
    m.modem.TakeOutput();
    EXPECT_EQ(m.Command("ATA"), kOk + c.connected);
    EXPECT_EQ(m.modem.Phase(), CallPhase::Active);
    EXPECT_EQ(m.Advance(3999), "");  // no ring either
    EXPECT_EQ(m.Advance(1), c.remoteEnd);
    EXPECT_EQ(m.modem.Phase(), CallPhase::Idle);
  }
}

TEST(SimModem, AnsweredCallEndsByHangupCommand) {
  for (const FamilyCase& c : kFamilies) {
    ModemOptions options = ModemUnderTest::Quiet();
    options.family = c.family;
    options.talkMs = 4000;
    ModemUnderTest m(options);
    m.modem.IncomingCall("1");
    m.Command("ATA");
    m.Advance(2500);
    EXPECT_EQ(m.Command("ATH"), c.localEnd);
    EXPECT_EQ(m.Advance(5000), "");  // the caller's hang-up timer went with the call
  }
}

TEST(SimModem, DialledCallOutcomes) {
  using O = ModemOptions::DialOutcome;
  struct Case {
    CallFamily family;
    O outcome;
    std::string started, decided, remoteEnd;  // remoteEnd only after an answer
  };
  const Case cases[] = {
      {CallFamily::Caret, O::Answer, Framed({"OK", "^ORIG:1,0"}), Framed({"^CONN:1,0"}),
       Framed({"^CEND:1,5,104,16", "NO CARRIER"})},
      {CallFamily::Caret, O::Busy, Framed({"OK", "^ORIG:1,0"}), Framed({"^CEND:1,0,104,17"}), ""},
      {CallFamily::Caret, O::NoAnswer, Framed({"OK", "^ORIG:1,0"}),
       Framed({"^CEND:1,0,104,19", "NO CARRIER"}), ""},
      {CallFamily::Ecav, O::Answer, Framed({"OK", "*ECAV: 1,2,1"}), Framed({"*ECAV: 1,3,1"}),
       Framed({"*ECAV: 1,0,1", "NO CARRIER"})},
      {CallFamily::Ecav, O::Busy, Framed({"OK", "*ECAV: 1,2,1"}), Framed({"*ECAV: 1,7,1", "BUSY"}),
       ""},
      {CallFamily::Ecav, O::NoAnswer, Framed({"OK", "*ECAV: 1,2,1"}),
       Framed({"*ECAV: 1,0,1", "NO CARRIER"}), ""},
      {CallFamily::Wind, O::Answer, Framed({"+WIND: 5,1", "+WIND: 2"}), Framed({"+WIND: 9", "OK"}),
       Framed({"+WIND: 6,1", "NO CARRIER"})},
      {CallFamily::Wind, O::Busy, Framed({"+WIND: 5,1", "+WIND: 2"}), Framed({"BUSY"}), ""},
      {CallFamily::Wind, O::NoAnswer, Framed({"+WIND: 5,1", "+WIND: 2"}),
       Framed({"+WIND: 6,1", "NO CARRIER"}), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.family) * 10 + int(c.outcome));
    ModemOptions options = ModemUnderTest::Quiet();
    options.family = c.family;
    options.dialOutcome = c.outcome;
    options.dialDelayMs = 2000;
    options.remoteTalkMs = 5000;
    ModemUnderTest m(options);
    m.now = 0xFFFFF000u;  // the outcome falls after the tick wraps
    EXPECT_EQ(m.Command("ATD+79001112233;"), c.started);
    EXPECT_EQ(m.modem.Phase(), CallPhase::Dialling);
    EXPECT_EQ(m.Command("ATD1;"), kError);  // one call at a time
    EXPECT_EQ(m.Advance(1999), "");
    EXPECT_EQ(m.Advance(1), c.decided);
    EXPECT_EQ(m.Advance(4999), "");
    EXPECT_EQ(m.Advance(1), c.remoteEnd);
    EXPECT_EQ(m.modem.Phase(), CallPhase::Idle);
  }
}

TEST(SimModem, HangupWhileDiallingCancelsTheOutcome) {
  ModemUnderTest m;
  m.Command("ATD123;");
  EXPECT_EQ(m.Command("ATH"), Framed({"OK", "^CEND:1,0,104,16"}));
  EXPECT_EQ(m.Advance(5000), "");
}

TEST(SimModem, SecondIncomingCallIsIgnoredDuringACall) {
  ModemUnderTest m;
  m.modem.IncomingCall("1");
  m.Command("ATA");
  m.modem.IncomingCall("2");
  EXPECT_EQ(m.modem.TakeOutput(), "");
  EXPECT_EQ(m.modem.CallNumber(), "1");
}

TEST(SimModem, SignalAndServiceReports) {
  struct Case {
    CallFamily family;
    std::string reports;
  };
  const Case cases[] = {{CallFamily::Caret, Framed({"^RSSI:7", "^SRVST:2"})},
                        {CallFamily::Ecav, ""},
                        {CallFamily::Wind, ""}};
  for (const Case& c : cases) {
    ModemOptions options = ModemUnderTest::Quiet();
    options.family = c.family;
    ModemUnderTest m(options);
    m.modem.ReportSignal(7);
    m.modem.ReportService(2);
    EXPECT_EQ(m.modem.TakeOutput(), c.reports);
    EXPECT_EQ(m.Command("AT+CSQ"), Framed({"+CSQ: 7,99", "OK"}));
  }
}

TEST(SimModem, ListsReadsAndDeletesMessages) {
  ModemUnderTest m;
  auto header = [](int index, const char* status, const char* sender) {
    return "+CMGL: " + std::to_string(index) + ",\"" + status + "\",\"" + sender +
           "\",,\"26/12/08,14:03:27+12\"";
  };
  m.modem.ReceiveSms("+7900", "ARM 1");
  m.modem.ReceiveSms("8900", "DISARM");
  EXPECT_EQ(m.modem.TakeOutput(), Framed({"+CMTI: \"SM\",1", "+CMTI: \"SM\",2"}));
  // One information block: the body follows its header after a single CR LF.
  EXPECT_EQ(m.Command("AT+CMGL"), "\r\n" + header(1, "REC UNREAD", "+7900") + "\r\nARM 1\r\n" +
                                      header(2, "REC UNREAD", "8900") + "\r\nDISARM\r\n" + kOk);
  EXPECT_EQ(m.Command("AT+CMGL=\"REC UNREAD\""), kOk);  // listing marked them read
  m.modem.ReceiveSms("+7901", "TEST");
  m.modem.TakeOutput();
  EXPECT_EQ(m.Command("AT+CMGL=0"),
            "\r\n" + header(3, "REC UNREAD", "+7901") + "\r\nTEST\r\n" + kOk);
  EXPECT_EQ(m.Command("AT+CMGL=\"ALL\""), "\r\n" + header(1, "REC READ", "+7900") +
                                              "\r\nARM 1\r\n" + header(2, "REC READ", "8900") +
                                              "\r\nDISARM\r\n" + header(3, "REC READ", "+7901") +
                                              "\r\nTEST\r\n" + kOk);
  EXPECT_EQ(m.Command("AT+CMGD=2"), kOk);
  EXPECT_EQ(m.Command("AT+CMGR=2"), Framed({"+CMS ERROR: 321"}));
  m.modem.ReceiveSms("+7902", "again");
  EXPECT_EQ(m.modem.TakeOutput(), Framed({"+CMTI: \"SM\",2"}));  // lowest free index
  EXPECT_EQ(m.Command("AT+CMGR=2"),
            "\r\n+CMGR: \"REC UNREAD\",\"+7902\",,\"26/12/08,14:03:27+12\"\r\nagain\r\n" + kOk);
  EXPECT_EQ(m.modem.Messages().UnreadCount(), 0u);
  EXPECT_EQ(m.Command("AT+CMGD=1,4"), kOk);
  EXPECT_EQ(m.modem.Messages().Size(), 0u);
}

TEST(SimModem, FullMessageMemoryDropsNewMessages) {
  ModemUnderTest m;
  for (size_t i = 0; i < SmsStore::kCapacity; ++i) m.modem.ReceiveSms("1", "x");
  m.modem.TakeOutput();
  m.modem.ReceiveSms("1", "one too many");
  EXPECT_EQ(m.modem.TakeOutput(), "");
  EXPECT_EQ(m.modem.Messages().Size(), SmsStore::kCapacity);
}

TEST(SimModem, ScheduledActionsRunInTimeOrder) {
  ModemUnderTest m;
  std::vector<int> ran;
  m.modem.Schedule(200, [&] { ran.push_back(2); });
  m.modem.Schedule(100, [&] {
    ran.push_back(1);
    m.modem.Schedule(0, [&] { ran.push_back(3); });  // waits for the next Poll
  });
  m.Advance(500);
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
  m.Advance(0);
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
}

}  // namespace
}  // namespace quell::sim::test
