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

  NoticeDrain drain{clock, trace, journal, notices, clients};
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

  notices.Append(NoticeOrigin::LineStatus, "QUELL_LINE_STATUS&L1&ON");
  drain.Tick();
  ASSERT_TRUE(first.WaitReceived(23));
  EXPECT_EQ(first.received, "QUELL_LINE_STATUS&L1&ON");

  first.socket.disconnectFromHost();
  ASSERT_TRUE(WaitFor([&] { return clients.WardexClientCount() == 1; }));
  notices.Append(NoticeOrigin::LineStatus, "QUELL_LINE_STATUS&L2&ON");
  drain.Tick();
  ASSERT_TRUE(second.WaitReceived(23));
  EXPECT_EQ(second.received, "QUELL_LINE_STATUS&L2&ON");
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

// The drain against a recorded client feed: heartbeat timing, tracing, and
// what each notice may set off besides its send.
class NoticeDrainTest : public ::testing::Test {
 protected:
  NoticeDrainTest() {
    drain.SetResultHook([this](const std::string& n) { translated.push_back(n); });
    drain.SetRingHook([this](const std::string& n) { rung.push_back(n); });
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) drain.Tick();
  }

  test::FakeClock clock;
  TraceView trace;
  Journal journal;
  NoticeList notices;
  test::FakeClientFeed feed;
  NoticeDrain drain{clock, trace, journal, notices, feed};
  std::vector<std::string> translated, rung;
};

TEST_F(NoticeDrainTest, HeartbeatOnTick62ThenEvery122IdleTicks) {
  feed.wardexClients = 1;
  Ticks(61);
  EXPECT_TRUE(feed.wardex.empty());
  drain.Tick();  // 62nd
  EXPECT_EQ(feed.wardex, std::vector<std::string>{kClientHeartbeat});
  EXPECT_EQ(feed.origins, std::vector<NoticeOrigin>{NoticeOrigin::Heartbeat});
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
  notices.Append(NoticeOrigin::LineStatus, "QUELL_LINE_STATUS&A&ON");
  drain.Tick();  // the due tick finds the queue busy
  EXPECT_EQ(feed.wardex, std::vector<std::string>{"QUELL_LINE_STATUS&A&ON"});
  EXPECT_TRUE(notices.Empty());
  EXPECT_TRUE(trace.Lines().empty());
}

TEST_F(NoticeDrainTest, OneNoticePerTickWithTrace) {
  const std::string a = "QUELL_LINE_STATUS&A&ON", b = "QUELL_LINE_STATUS&B&OFF";
  notices.Append(NoticeOrigin::LineStatus, a);
  notices.Append(NoticeOrigin::LineStatus, b);
  drain.Tick();  // no client: the queue waits
  EXPECT_EQ(notices.Size(), 2u);

  feed.wardexClients = 1;
  drain.Tick();
  EXPECT_EQ(feed.wardex, std::vector<std::string>{a});
  EXPECT_EQ(trace.Lines(), std::vector<std::string>{std::string("14:03:27") + kTAB + a});
  drain.Tick();
  EXPECT_EQ(feed.wardex, (std::vector<std::string>{a, b}));
  EXPECT_TRUE(notices.Empty());
}

// Only the caller-ID results reach the key translation, whatever words the
// others hold, and only ring notices the loopback client.
TEST_F(NoticeDrainTest, EachOriginSetsOffOnlyWhatItMay) {
  const struct {
    NoticeOrigin origin;
    const char* text;
    bool translated, rung;
  } cases[] = {
      {NoticeOrigin::CallerIdRing, "L1;+79001112233;GSM XCALL;0;CRING;", false, true},
      {NoticeOrigin::CallerIdKeyResult, "L1;+79001112233;XCALL_KEY01;57;CIDE130|;", true, false},
      {NoticeOrigin::CallerIdPlainResult, "L1;+79001112233;XCALL_GUARD_ON;57;|", true, false},
      // A dialled call in an arming mode still gives its guard word.
      {NoticeOrigin::CallerIdDialledResult, "L4;+79001112233;XCALL_GUARD_OFF;|", true, false},
      {NoticeOrigin::Relay, "L1;+7900;GSM XCALL;0;CRING;XCALL_KEY01;VORTI", false, false},
      {NoticeOrigin::TestButton, "VORTI_1;00 0887 C4;VORTI;VORTI_EVENT|", false, false},
      {NoticeOrigin::SerialReceiver, "M1;CRING XCALL_KEY01_GUARD_ON;MLR;MLR_EVENT|", false, false},
      {NoticeOrigin::ShortMessage, "S1;5099 181234E13001015;GSM XCALL;MLR_EVENT|", false, false},
      {NoticeOrigin::DataCall, "D1;+7900;GSM Selva;~CRING_GUARD_ON;SELVA_RES|", false, false},
      {NoticeOrigin::LossRestore, "QuellServer;5011 181234R35600000;MLR_EVENT|", false, false},
      {NoticeOrigin::LineStatus, "QUELL_LINE_STATUS&CRING_GUARD_ON&ON", false, false},
  };
  feed.wardexClients = 1;
  for (const auto& c : cases) {
    translated.clear();
    rung.clear();
    notices.Append(c.origin, c.text);
    drain.Tick();
    EXPECT_EQ(feed.wardex.back(), c.text);
    EXPECT_EQ(translated.size(), c.translated ? 1u : 0u) << c.text;
    EXPECT_EQ(rung.size(), c.rung ? 1u : 0u) << c.text;
  }
}

// The client is let go while the notice is being sent: it waits at the
// head for the next client and is translated once, when it really goes.
TEST_F(NoticeDrainTest, NoticeWaitsForTheNextClientWhenTheFirstIsLetGo) {
  feed.wardexClients = 1;
  notices.Append(NoticeOrigin::CallerIdKeyResult, "L1;+79001112233;XCALL_KEY01;57;CIDE130|;");
  notices.Append(NoticeOrigin::LineStatus, "QUELL_LINE_STATUS&L1&ON");
  feed.wardexTakes = false;
  drain.Tick();
  EXPECT_EQ(notices.Snapshot().front(), "L1;+79001112233;XCALL_KEY01;57;CIDE130|;");
  EXPECT_EQ(notices.Size(), 2u);
  EXPECT_TRUE(translated.empty());
  EXPECT_TRUE(trace.Lines().empty());

  feed.wardexTakes = true;
  Ticks(2);
  EXPECT_EQ(feed.wardex.back(), "QUELL_LINE_STATUS&L1&ON");
  EXPECT_EQ(translated, std::vector<std::string>{"L1;+79001112233;XCALL_KEY01;57;CIDE130|;"});
}

// Relayed texts beyond the bound are dropped on arrival, the gateway's own
// notices never; the journal counts the drops at most once a minute.
TEST_F(NoticeDrainTest, RelayedTextsAreBoundedAndDropsJournalledOnceAMinute) {
  for (size_t i = 0; i < NoticeList::kMaxRelayTexts; ++i)
    EXPECT_TRUE(notices.Append(NoticeOrigin::Relay, "VORTI"));
  EXPECT_FALSE(notices.Append(NoticeOrigin::Relay, "VORTI one too many"));
  EXPECT_TRUE(notices.Append(NoticeOrigin::TestButton, "VORTI_1"));
  EXPECT_TRUE(notices.Append(NoticeOrigin::LineStatus, "QUELL_LINE_STATUS&L1&ON"));
  EXPECT_FALSE(notices.Append(NoticeOrigin::Relay, "VORTI two too many"));
  EXPECT_EQ(notices.Size(), NoticeList::kMaxRelayTexts + 2);

  drain.Tick();  // no client: nothing leaves, the drops are journalled
  ASSERT_EQ(journal.Size(), 1u);
  EXPECT_EQ(journal.Entries().front(), "Relay: 2 texts dropped, 1000 already waiting");
  feed.wardexClients = 1;
  drain.Tick();  // one relayed text left: room for one
  EXPECT_TRUE(notices.Append(NoticeOrigin::Relay, "VORTI again"));
  EXPECT_FALSE(notices.Append(NoticeOrigin::Relay, "VORTI dropped again"));
  Ticks(NoticeDrain::kDropReportTicks - 2);
  EXPECT_EQ(journal.Size(), 1u);
  drain.Tick();  // a minute after the first line
  EXPECT_EQ(journal.Entries().front(), "Relay: 1 texts dropped, 1000 already waiting");
}

}  // namespace
}  // namespace quell
