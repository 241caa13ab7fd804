// The station client ports over loopback sockets, and the NoticeQueue drain.
#include "ip/client_ports.h"

#include <gtest/gtest.h>

#include "core/wire.h"
#include "ip/notice_drain.h"
#include "tests/ip/ip_fixture.h"
#include "tests/support/fake_clock.h"
#include "tests/support/loopback.h"

namespace quell {
namespace {

using test::TestClient;
using test::WaitFor;

class ClientPortsTest : public test::IpFixture {
 protected:
  std::string Peer(const TestClient& c) {
    return "IP 127.0.0.1,  PORT " + std::to_string(c.socket.localPort());
  }

  NoticeDrain drain{clock, trace, notices, clients};
};

TEST_F(ClientPortsTest, ConnectAndDisconnectAreJournalledWithPlainIpv4) {
  TestClient w, c;
  ASSERT_TRUE(w.Connect(clients.WardexPort()));
  ASSERT_TRUE(WaitFor([&] { return clients.WardexClientCount() == 1; }));
  EXPECT_EQ(journal.Entries().front(), "Client Connect: " + Peer(w));
  ASSERT_TRUE(c.Connect(clients.Console2Port()));
  ASSERT_TRUE(WaitFor([&] { return clients.Console2ClientCount() == 1; }));
  EXPECT_EQ(journal.Entries().front(), "Client 2 Connect: " + Peer(c));

  const std::string wardexLine = "XCALL Client DisConnect: " + Peer(w);
  const std::string console2Line = "XCALL Client 2 DisConnect: " + Peer(c);
  w.socket.disconnectFromHost();
  ASSERT_TRUE(WaitFor([&] { return clients.WardexClientCount() == 0; }));
  EXPECT_EQ(journal.Entries().front(), wardexLine);
  c.socket.abort();  // a reset rather than an orderly close
  ASSERT_TRUE(WaitFor([&] { return clients.Console2ClientCount() == 0; }));
  EXPECT_EQ(journal.Entries().front(), console2Line);
  EXPECT_EQ(journal.Size(), 4u);
}

TEST_F(ClientPortsTest, NoticesGoToTheEarliestOpenWardexConnectionOnly) {
  TestClient first, second;
  ASSERT_TRUE(first.Connect(clients.WardexPort()));
  ASSERT_TRUE(WaitFor([&] { return clients.WardexClientCount() == 1; }));
  ASSERT_TRUE(second.Connect(clients.WardexPort()));
  ASSERT_TRUE(WaitFor([&] { return clients.WardexClientCount() == 2; }));

  notices.Append("QUELL_LINE_STATUS&L1&ON");
  drain.Tick();
  ASSERT_TRUE(first.WaitReceived(23));
  EXPECT_EQ(first.received, "QUELL_LINE_STATUS&L1&ON");

  first.socket.disconnectFromHost();
  ASSERT_TRUE(WaitFor([&] { return clients.WardexClientCount() == 1; }));
  notices.Append("N2");
  drain.Tick();
  ASSERT_TRUE(second.WaitReceived(2));
  EXPECT_EQ(second.received, "N2");
}

TEST_F(ClientPortsTest, RequestsAreTracedAndRepliedToTheAsker) {
  std::vector<std::string> requests;
  clients.SetRequestHandler([&](const std::string& request, const ClientPorts::Reply& reply) {
    requests.push_back(request);
    reply(request + ";XCALL1_LINE_ABSENT|");
  });
  TestClient first, second;
  ASSERT_TRUE(first.Connect(clients.WardexPort()));
  ASSERT_TRUE(second.Connect(clients.WardexPort()));
  second.Send("123;xcall_object_control");
  const std::string reply = "123;xcall_object_control;XCALL1_LINE_ABSENT|";
  ASSERT_TRUE(second.WaitReceived(reply.size()));
  EXPECT_EQ(second.received, reply);
  EXPECT_EQ(requests, std::vector<std::string>{"123;xcall_object_control"});
  EXPECT_EQ(trace.Lines().back(), "123;xcall_object_control");
  EXPECT_TRUE(first.received.empty());
}

TEST_F(ClientPortsTest, AckFromTheSecondConsoleClientAcknowledgesTheConsole) {
  TestClient c;
  ASSERT_TRUE(c.Connect(clients.Console2Port()));
  c.Send("xyz");
  c.Send(std::string(1, kACK));
  EXPECT_TRUE(WaitFor([&] { return output.ConsoleAcknowledged().load(); }));

  clients.SendToFirstConsole2(std::string("5011 181234E13001015") + kCR);
  EXPECT_TRUE(c.WaitReceived(21));
}

// The drain against a recorded client feed: heartbeat timing and tracing.
class NoticeDrainTest : public ::testing::Test {
 protected:
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) drain.Tick();
  }

  test::FakeClock clock;
  TraceView trace;
  SharedTextList notices;
  test::FakeClientFeed feed;
  NoticeDrain drain{clock, trace, notices, feed};
};

TEST_F(NoticeDrainTest, HeartbeatOnTick62ThenEvery122IdleTicks) {
  feed.wardexClients = 1;
  Ticks(61);
  EXPECT_TRUE(feed.wardex.empty());
  drain.Tick();  // 62nd
  EXPECT_EQ(feed.wardex, std::vector<std::string>{kClientHeartbeat});
  EXPECT_EQ(trace.Size(), 0u);  // the heartbeat tick traces nothing
  Ticks(121);
  EXPECT_EQ(feed.wardex.size(), 1u);
  drain.Tick();  // 184th
  EXPECT_EQ(feed.wardex.size(), 2u);
}

TEST_F(NoticeDrainTest, NoHeartbeatWithoutClientOrWithQueuedNotices) {
  Ticks(62);
  EXPECT_TRUE(notices.Empty());
  EXPECT_EQ(drain.Countdown(), NoticeDrain::kCountdown);

  Ticks(121);
  feed.wardexClients = 1;
  notices.Append("A");
  drain.Tick();  // the due tick finds the queue busy
  EXPECT_EQ(feed.wardex, std::vector<std::string>{"A"});
  EXPECT_TRUE(notices.Empty());
  EXPECT_TRUE(trace.Lines().empty());
}

TEST_F(NoticeDrainTest, OneNoticePerTickWithTraceAndHook) {
  std::vector<std::string> handed;
  drain.SetSentHook([&](const std::string& n) { handed.push_back(n); });
  notices.Append("A");
  notices.Append("B");
  drain.Tick();  // no client: the queue waits
  EXPECT_EQ(notices.Size(), 2u);

  feed.wardexClients = 1;
  drain.Tick();
  EXPECT_EQ(feed.wardex, std::vector<std::string>{"A"});
  EXPECT_EQ(trace.Lines(), std::vector<std::string>{std::string("14:03:27") + kTAB + "A"});
  drain.Tick();
  EXPECT_EQ(handed, (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(notices.Empty());
}

}  // namespace
}  // namespace quell
