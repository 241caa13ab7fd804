// The ADM-CID parser and the IP module list it keeps.
#include "ip/adm_cid_parser.h"

#include <gtest/gtest.h>

#include "core/wire.h"
#include "ip/ip_module_supervision.h"
#include "tests/support/fake_clock.h"
#include "tests/support/loopback.h"

namespace quell {
namespace {

const std::string kExample = "\"ADM-CID\"0001R0001L0001[#001234|1130 01 015]";
const std::string kKeepAlive = "SR0001L0001    001234";

// kExample with another character at offset 31 from the "A" (the qualifier).
std::string WithQualifier(char q) {
  std::string m = kExample;
  m[1 + 31] = q;
  return m;
}

class AdmCidParserTest : public ::testing::Test {
 protected:
  test::FakeClock clock;
  IpModuleList list;
  IpModuleSettings settings;
  NoticeList notices;
  SharedTextList consoleQueue;
  test::FakeConsoleDevice device;
  test::FakeClientFeed clients;
  TraceView trace;
  ConsoleSettings console;
  CodeTable codes;
  ConsoleOutput output{consoleQueue, device, clients, trace, console, settings, codes};
  IpModuleSupervision modules{clock, list, settings, notices, output};
  AdmCidParser parser{modules, output, settings};
};

TEST_F(AdmCidParserTest, CutsTheEventLineByOffsetsFromTheToken) {
  EXPECT_EQ(parser.Parse(kExample), std::string("5011 181234E13001015") + kCR);
  // The token need not be quoted or at the start: offsets follow it.
  EXPECT_EQ(parser.Parse("xx" + kExample.substr(1)), std::string("5011 181234E13001015") + kCR);
  EXPECT_EQ(parser.Parse(WithQualifier('3')), std::string("5011 181234R13001015") + kCR);
}

TEST_F(AdmCidParserTest, OtherQualifiersAreRejectedWithoutSideEffects) {
  list.Add("1234");
  for (char q : {'6', '0', 'E', ' '}) EXPECT_EQ(parser.Parse(WithQualifier(q)), "FALSE") << q;
  EXPECT_TRUE(list.Rows()[0].event.empty());
  EXPECT_EQ(parser.Parse("hello"), "FALSE");
  EXPECT_EQ(parser.Parse("xSR0001L0001    001234"), "FALSE");  // keep-alive must lead
}

TEST_F(AdmCidParserTest, ShortMessagesGiveShortenedPiecesOrNoQualifier) {
  // Cut right after the qualifier: code, group and zone are empty.
  EXPECT_EQ(parser.Parse(kExample.substr(0, 1 + 32)), std::string("5011 181234E") + kCR);
  // No qualifier at all.
  EXPECT_EQ(parser.Parse("\"ADM-CID\""), "FALSE");
  EXPECT_EQ(parser.Parse("ADM-CID"), "FALSE");
  // A bare keep-alive token: every piece empty.
  settings.testSignal = true;
  EXPECT_EQ(parser.Parse("SR"), std::string("1       @") + kCR);
  EXPECT_EQ(parser.Parse("SR0001L"), std::string("101       @") + kCR);
  // Without an account there is no module to keep, nor a test event for it.
  EXPECT_TRUE(list.Rows().empty());
  EXPECT_TRUE(consoleQueue.Empty());
  // A cut account still names a row.
  EXPECT_EQ(parser.Parse("SR0001L0001    0012"), std::string("1011      12 @") + kCR);
  ASSERT_EQ(list.Rows().size(), 1u);
  EXPECT_EQ(list.Rows()[0].caption, "12");
}

// A control byte cut into the event line reached the console (a DC4 splits
// its record) and the client; a ";" or "|" added a field to the client's
// "MLR;...;MLR_EVENT|" text.
TEST_F(AdmCidParserTest, SeparatorsAndControlBytesInsideThePiecesAreRejectedWithoutSideEffects) {
  settings.testSignal = true;
  const std::string messages[] = {
      "\"ADM-CID\"0001R0001L0001[#0012;4|1602 01 015]",  // ";" in the account (an E602)
      "\"ADM-CID\"0001R0001L0001[#001234|1130 01 0|5]",  // "|" in the zone
      "\"ADM-CID\"0001R0001L0001[#001234|11\x7F"
      "0 01 015]",                                                // DEL in the code
      "SR0001L0001    00;234",                                    // ";" in a keep-alive's account
      std::string("A\"ADM-CID0001R0001L0001\0%001234|11C ", 36),  // NUL as the line
      "\"ADM-CID\"0001R0001L0001[#001234|1130 01 0\x14"
      "5]",                                               // DC4 in the zone
      "\"ADM-CID\"0001R00\r1L0001[#001234|1130 01 015]",  // CR in the receiver
      "SR0001L0001    00\r234",                           // CR in the account
  };
  for (const std::string& m : messages) EXPECT_EQ(parser.Parse(m), "FALSE") << m;
  EXPECT_TRUE(list.Rows().empty());
  EXPECT_TRUE(consoleQueue.Empty());

  // Near misses: 0x80-0x9F are letters in Windows-1251, and a "|" outside
  // the cut positions (the data's own separator) is no field of the line.
  EXPECT_EQ(parser.Parse("\"ADM-CID\"0001R0001L0001[#00\x80\x9F\xC0"
                         "4|1130 01 015]"),
            std::string("5011 18\x80\x9F\xC0"
                        "4E13001015") +
                kCR);
}

TEST_F(AdmCidParserTest, OnlyE602CreatesARowForAnUnknownAccount) {
  parser.Parse(kExample);
  EXPECT_TRUE(list.Rows().empty());

  std::string e602 = kExample;
  e602.replace(1 + 32, 3, "602");
  parser.Parse(e602);
  ASSERT_EQ(list.Rows().size(), 1u);
  const IpModuleRow& row = list.Rows()[0];
  EXPECT_EQ(row.caption, "1234");
  EXPECT_EQ(row.event, "E");
  EXPECT_EQ(row.receiver, "01");
  EXPECT_EQ(row.line, "1");
  EXPECT_EQ(row.state, "+");
  EXPECT_EQ(row.picture, IpModuleRow::Picture::Online);
  EXPECT_EQ(row.timeText, "14:03:27   08/12/2026");

  // Any later event of a known account refreshes it.
  clock.Advance(60'000);
  parser.Parse(kExample);
  EXPECT_EQ(list.Rows()[0].timeText, "14:04:27   08/12/2026");
}

TEST_F(AdmCidParserTest, KeepAliveGivesTheSupervisionLineAndCreatesTheRow) {
  EXPECT_EQ(parser.Parse(kKeepAlive), std::string("1011      1234 @") + kCR);
  ASSERT_EQ(list.Rows().size(), 1u);
  EXPECT_EQ(list.Rows()[0].event, "H");
  EXPECT_EQ(list.Rows()[0].state, "+");
  EXPECT_TRUE(consoleQueue.Empty());

  settings.testSignal = true;
  parser.Parse(kKeepAlive);
  EXPECT_EQ(consoleQueue.Snapshot(),
            std::vector<std::string>{std::string("5011 181234R60200000") + kDC4});
  EXPECT_TRUE(notices.Empty());
}

TEST_F(AdmCidParserTest, LossIsReportedOnceAndRestoredOnTheNextMessage) {
  settings.silenceLimitSeconds = 600;
  parser.Parse(kKeepAlive);

  clock.Advance(600'000);  // exactly the limit: still heard
  modules.LossCheck();
  EXPECT_TRUE(notices.Empty());

  clock.Advance(1000);
  modules.LossCheck();
  modules.LossCheck();
  EXPECT_EQ(notices.Snapshot(),
            std::vector<std::string>{"QuellServer;5011 181234E35600000;MLR_EVENT|"});
  EXPECT_EQ(consoleQueue.Snapshot(), std::vector<std::string>{"5011 181234E35600000"});
  EXPECT_EQ(list.Rows()[0].state, "-");
  EXPECT_EQ(list.Rows()[0].picture, IpModuleRow::Picture::Lost);

  notices.Clear();
  consoleQueue.Clear();
  parser.Parse(kExample);  // any message of the module restores it
  EXPECT_EQ(notices.Snapshot(),
            std::vector<std::string>{"QuellServer;5011 181234R35600000;MLR_EVENT|"});
  EXPECT_EQ(consoleQueue.Snapshot(), std::vector<std::string>{"5011 181234R35600000"});
  EXPECT_EQ(list.Rows()[0].state, "+");
  parser.Parse(kExample);
  EXPECT_EQ(notices.Size(), 1u);
}

TEST_F(AdmCidParserTest, WithoutLossRestoreEventsOnlyTheRowChanges) {
  settings.lossRestore = false;
  settings.silenceLimitSeconds = 10;
  parser.Parse(kKeepAlive);
  clock.Advance(11'000);
  modules.LossCheck();
  EXPECT_EQ(list.Rows()[0].state, "-");
  EXPECT_EQ(list.Rows()[0].picture, IpModuleRow::Picture::Lost);
  parser.Parse(kKeepAlive);
  EXPECT_EQ(list.Rows()[0].state, "+");
  EXPECT_TRUE(notices.Empty());
  EXPECT_TRUE(consoleQueue.Empty());
}

}  // namespace
}  // namespace quell
