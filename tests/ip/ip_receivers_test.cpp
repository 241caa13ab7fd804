// The IP module listeners over loopback sockets, with real station client
// ports on the other side.
#include "ip/ip_receivers.h"

#include <gtest/gtest.h>

#include "core/refusal_journal.h"
#include "core/wire.h"
#include "ip/client_ports.h"
#include "tests/ip/ip_fixture.h"
#include "tests/support/fake_clock.h"
#include "tests/support/loopback.h"
#include "tests/support/peer_socket.h"

namespace quell {
namespace {

using test::TestClient;

const std::string kExample = "\"ADM-CID\"0001R0001L0001[#001234|1130 01 015]";
const std::string kEventLine = "5011 181234E13001015";
const std::string kKeepAlive = "SR0001L0001    001234";
const std::string kSupervisionLine = "1011      1234 @";
const std::string kZeros(24, '\0');

std::string Cr(const std::string& text) {
  return text + kCR;
}

class IpReceiversTest : public test::IpFixture {
 protected:
  IpReceiversTest() {
    EXPECT_TRUE(receivers.Listen()) << (trace.Size() ? trace.Lines().back() : "");
  }

  // A module connected to the listener, its greeting already received.
  void ConnectModule(TestClient& module, IpListener listener) {
    ASSERT_TRUE(module.Connect(receivers.Port(listener)));
    ASSERT_TRUE(module.WaitReceived(24));
  }
  void ConnectClients() {
    ASSERT_TRUE(wardex.Connect(clients.WardexPort()));
    ASSERT_TRUE(console2.Connect(clients.Console2Port()));
    ASSERT_TRUE(test::WaitFor(
        [&] { return clients.WardexClientCount() == 1 && clients.Console2ClientCount() == 1; }));
  }

  IpModuleList list;
  IpModuleSupervision modules{clock, list, settings, notices, output};
  AdmCidParser parser{modules, output, settings};
  IpReceivers receivers{clock,    journal, trace,   output, device, console,
                        settings, ports,   clients, parser, modules};
  TestClient wardex, console2;
};

TEST_F(IpReceiversTest, EventIsAcknowledgedAndForwardedToTheFirstClients) {
  ConnectClients();
  TestClient module;
  ConnectModule(module, IpListener::P8097);
  EXPECT_EQ(module.received, kZeros);

  module.Send(kExample);
  ASSERT_TRUE(module.WaitReceived(24 + 4));
  EXPECT_EQ(module.After(24), Cr("ACK"));
  const std::string toWardex = "MLR;" + Cr(kEventLine) + ";MLR_EVENT|";
  ASSERT_TRUE(wardex.WaitReceived(toWardex.size()));
  EXPECT_EQ(wardex.received, toWardex);
  ASSERT_TRUE(console2.WaitReceived(21));
  EXPECT_EQ(console2.received, Cr(kEventLine));

  EXPECT_EQ(journal.Entries().front(), " 08/12/2026 14/03/27 : " + kExample);
  EXPECT_TRUE(list.Rows().empty());  // an E130 creates no row
  EXPECT_TRUE(consoleQueue.Empty());
  EXPECT_EQ(module.socket.state(), QAbstractSocket::ConnectedState);
  EXPECT_EQ(receivers.ConnectionCount(IpListener::P8097), 1);
}

TEST_F(IpReceiversTest, KeepAliveOn8097GetsOnlyCrAndIsClosed) {
  ConnectClients();
  TestClient module;
  ConnectModule(module, IpListener::P8097);
  const size_t journalBefore = journal.Size();
  module.Send(kKeepAlive);
  ASSERT_TRUE(module.WaitClosed());
  EXPECT_EQ(module.After(24), Cr(""));
  ASSERT_EQ(list.Rows().size(), 1u);
  EXPECT_EQ(list.Rows()[0].event, "H");
  EXPECT_EQ(list.Rows()[0].state, "+");
  EXPECT_EQ(journal.Size(), journalBefore);  // keep-alives are not journalled
  EXPECT_TRUE(test::WaitFor([&] { return receivers.ConnectionCount(IpListener::P8097) == 0; }));
  EXPECT_TRUE(wardex.received.empty());
}

TEST_F(IpReceiversTest, KeepAliveOn8098IsHandledLikeAnEvent) {
  ConnectClients();
  device.alive = true;
  TestClient module;
  ConnectModule(module, IpListener::P8098);
  module.Send(kKeepAlive);
  ASSERT_TRUE(module.WaitClosed());
  EXPECT_EQ(module.After(24), Cr("ACK"));
  const std::string toWardex = "MLR;" + Cr(kSupervisionLine) + ";MLR_EVENT|";
  ASSERT_TRUE(wardex.WaitReceived(toWardex.size()));
  EXPECT_EQ(wardex.received, toWardex);
  EXPECT_EQ(device.written, kSupervisionLine + kDC4);
  EXPECT_EQ(trace.Lines().back(), "VP  " + kSupervisionLine);
}

TEST_F(IpReceiversTest, AnsweringConsoleGetsEventsDirectly) {
  device.alive = true;
  settings.storeOffline = true;
  TestClient module;
  ConnectModule(module, IpListener::P8098);
  module.Send(kExample);
  ASSERT_TRUE(module.WaitReceived(24 + 4));
  EXPECT_EQ(device.written, kEventLine + kDC4);
  EXPECT_EQ(trace.Lines().back(), "VP  " + kEventLine);
  EXPECT_TRUE(consoleQueue.Empty());
}

TEST_F(IpReceiversTest, KeepAliveOn8097ReachesAnAdemcoConsole) {
  console.protocol = OutputProtocol::Ademco685;
  device.form = WireTarget::ConsoleAdemco685;
  TestClient module;
  ConnectModule(module, IpListener::P8097);
  module.Send(kKeepAlive);
  ASSERT_TRUE(module.WaitClosed());
  const std::string ademco = Cr("00 1234 00");
  EXPECT_EQ(device.written, kLF + ademco);
  EXPECT_EQ(trace.Lines().back(), "ademco  " + ademco);

  // The other listeners write nothing for a keep-alive.
  device.written.clear();
  TestClient other;
  ConnectModule(other, IpListener::P8096);
  other.Send(kKeepAlive);
  ASSERT_TRUE(other.WaitClosed());
  EXPECT_EQ(other.After(24), Cr(""));
  EXPECT_TRUE(device.written.empty());
}

TEST_F(IpReceiversTest, UnreadableMessageGetsNackAndTheTroubleLine) {
  ConnectClients();
  device.portOpen = true;
  TestClient module;
  ConnectModule(module, IpListener::P8096);
  std::string bad = kExample;
  bad[1 + 31] = '6';
  module.Send(bad);
  ASSERT_TRUE(module.WaitReceived(24 + 5));
  EXPECT_EQ(module.After(24), Cr("NACK"));
  EXPECT_EQ(device.written, kTroubleLine);
  EXPECT_TRUE(consoleQueue.Empty());

  // Only the reply, not the connection, ends; "FUJ" is just acknowledged.
  module.Send("FUJ");
  ASSERT_TRUE(module.WaitReceived(24 + 5 + 4));
  EXPECT_EQ(module.After(24 + 5), Cr("ACK"));
  EXPECT_TRUE(wardex.received.empty());
  EXPECT_TRUE(console2.received.empty());
}

// The account "0012;4" was acknowledged and reached the client as
// "MLR;5011 1812;4E...", a field too many.
TEST_F(IpReceiversTest, SeparatorInACutFieldIsMalformed) {
  ConnectClients();
  device.portOpen = true;
  device.alive = true;
  TestClient module;
  ConnectModule(module, IpListener::P8097);
  module.Send("\"ADM-CID\"0001R0001L0001[#0012;4|1602 01 015]");
  ASSERT_TRUE(module.WaitReceived(24 + 5));
  EXPECT_EQ(module.After(24), Cr("NACK"));
  EXPECT_EQ(device.written, kTroubleLine);
  EXPECT_TRUE(list.Rows().empty());  // not even an E602 makes a row
  module.Send(kExample);             // the next message is read as usual
  ASSERT_TRUE(module.WaitReceived(24 + 5 + 4));
  ASSERT_TRUE(wardex.WaitReceived(kEventLine.size() + 16));
  EXPECT_EQ(wardex.received, "MLR;" + Cr(kEventLine) + ";MLR_EVENT|");
}

// A NACK is explained in the journal with the module's address, port,
// account and reason; the same account and reason again within the minute
// is not, another reason is, and so is the first one once the minute is over.
TEST_F(IpReceiversTest, NackIsExplainedInTheJournalOncePerMinute) {
  RefusalJournal refusals(clock, journal);
  receivers.SetRefusals(&refusals);
  TestClient module;
  ConnectModule(module, IpListener::P8096);
  const std::string peer =
      "IP 127.0.0.1 on port " + std::to_string(receivers.Port(IpListener::P8096));
  std::string badQualifier = kExample;
  badQualifier[1 + 31] = '6';
  auto sendAndCount = [&](const std::string& m, size_t replies) {
    module.Send(m);
    ASSERT_TRUE(module.WaitReceived(24 + 5 * replies));
  };
  auto nackLines = [&] {
    std::vector<std::string> lines;
    for (const std::string& e : journal.Entries())
      if (e.starts_with("NACK to ")) lines.push_back(e);
    return lines;
  };
  sendAndCount(badQualifier, 1);
  sendAndCount(badQualifier, 2);
  sendAndCount("\"ADM-CID\"0001R0001L0001[#0012;4|1602 01 015]", 3);
  sendAndCount("HELLO", 4);
  EXPECT_EQ(nackLines(),
            (std::vector<std::string>{
                "NACK to " + peer + ": neither an \"ADM-CID\" event nor an SR keep-alive",
                "NACK to " + peer + ", account 12_4: a field holds \";\", \"|\" or a control byte",
                "NACK to " + peer + ", account 1234: the event qualifier is neither 1 nor 3"}));
  clock.Advance(RefusalJournal::kWindowMs);
  sendAndCount(badQualifier, 5);
  EXPECT_EQ(nackLines().size(), 4u);
}

TEST_F(IpReceiversTest, EventWaitsBehindEventsQueuedWhileTheConsoleWasSilent) {
  device.alive = true;  // answering again, with an event kept from its silence
  const std::string kept = "5011 181111E13001015" + kDC4;
  consoleQueue.Append(kept);
  for (bool storeOffline : {true, false}) {
    settings.storeOffline = storeOffline;
    TestClient module;
    ConnectModule(module, IpListener::P8098);
    module.Send(kExample);
    ASSERT_TRUE(module.WaitReceived(24 + 4));
    EXPECT_EQ(module.After(24), Cr("ACK"));
    EXPECT_TRUE(device.written.empty()) << storeOffline;
  }
  EXPECT_EQ(consoleQueue.Snapshot(),
            (std::vector<std::string>{kept, kEventLine + kDC4, kEventLine + kDC4}));
}

// Replies leave at once on every module port: with Nagle's rule the second
// of two replies released together waited for the module's delayed ACK.
TEST_F(IpReceiversTest, RepliesAreNotHeldForTheModulesTcpAck) {
  for (IpListener l :
       {IpListener::P8095, IpListener::P8096, IpListener::P8097, IpListener::P8098}) {
    TestClient module;
    ConnectModule(module, l);
    ASSERT_TRUE(module.WaitReceived(1));  // greeted: accepted and set up
    EXPECT_EQ(test::ServerSideNoDelay(module.socket), std::optional<bool>(true)) << int(l);
  }
}

TEST_F(IpReceiversTest, BurstIsReadAsMessagesOfAtMost54Bytes) {
  TestClient module;
  ConnectModule(module, IpListener::P8095);
  module.Send(kExample + kExample);  // 88 bytes: 54 + 34
  ASSERT_TRUE(module.WaitReceived(24 + 9));
  EXPECT_EQ(module.After(24), Cr("ACK") + Cr("NACK"));
}

TEST_F(IpReceiversTest, OfflineEventsAreQueuedUnlessThe8097SecondConsoleTakesThem) {
  settings.storeOffline = true;
  TestClient a, b;
  ConnectModule(a, IpListener::P8097);
  a.Send(kExample);
  ASSERT_TRUE(a.WaitReceived(24 + 4));
  EXPECT_EQ(consoleQueue.Snapshot(), std::vector<std::string>{kEventLine + kDC4});

  consoleQueue.Clear();
  ConnectClients();
  a.Send(kExample);
  ASSERT_TRUE(a.WaitReceived(24 + 8));
  EXPECT_TRUE(consoleQueue.Empty());

  ConnectModule(b, IpListener::P8098);
  b.Send(kExample);
  ASSERT_TRUE(b.WaitReceived(24 + 4));
  EXPECT_EQ(consoleQueue.Size(), 1u);
}

TEST_F(IpReceiversTest, TimedGreetingOn8096And8095) {
  clock.SetStandardOffset(3 * 3600);
  // 2026-12-08 14:03:27 local as seconds since 1900, less the three hours.
  const uint32_t expected = 46362u * 86400u + 14u * 3600u + 3u * 60u + 27u - 3u * 3600u;
  for (IpListener l : {IpListener::P8096, IpListener::P8095}) {
    TestClient module;
    ConnectModule(module, l);
    ASSERT_EQ(module.received.size(), 24u);
    EXPECT_EQ(module.received.substr(0, 20), std::string(20, '\0'));
    uint32_t t = 0;
    for (int i = 0; i < 4; ++i) t |= uint32_t(uint8_t(module.received[20 + i])) << (8 * i);
    EXPECT_EQ(t, expected);
  }
}

TEST_F(IpReceiversTest, CloseConnectionsEndsEveryConnectionOfOneListener) {
  TestClient a, b, other;
  ConnectModule(a, IpListener::P8098);
  ConnectModule(b, IpListener::P8098);
  ConnectModule(other, IpListener::P8097);
  ASSERT_TRUE(test::WaitFor([&] { return receivers.ConnectionCount(IpListener::P8098) == 2; }));
  receivers.CloseConnections(IpListener::P8098);
  EXPECT_EQ(receivers.ConnectionCount(IpListener::P8098), 0);
  EXPECT_TRUE(a.WaitClosed());
  EXPECT_TRUE(b.WaitClosed());
  EXPECT_EQ(receivers.ConnectionCount(IpListener::P8097), 1);
}

TEST_F(IpReceiversTest, JournalIsEmptiedAbove1000Entries) {
  for (int i = 0; i < 1001; ++i) journal.InsertTop("x");
  TestClient module;
  ConnectModule(module, IpListener::P8097);
  module.Send(kExample);
  ASSERT_TRUE(module.WaitReceived(24 + 4));
  EXPECT_EQ(journal.Size(), 1u);
}

}  // namespace
}  // namespace quell
