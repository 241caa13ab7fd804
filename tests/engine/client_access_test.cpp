// "\ClientAccess.ini" on the running engine: a peer at 127.0.0.2 is shut out
// of every port the file restricts, 127.0.0.1 gets in, and the gateway's
// own loopback client always does.
#include <gtest/gtest.h>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUdpSocket>

#include "console/console_output.h"
#include "engine/engine.h"
#include "ip/client_ports.h"
#include "ip/dc09/standard_dc09.h"
#include "ip/dc09_receiver.h"
#include "ip/ip_receivers.h"
#include "ip/loopback_client.h"
#include "ip/relay_listener.h"
#include "tests/support/fake_clock.h"
#include "tests/support/loopback.h"
#include "tests/support/work_files.h"

namespace quell {
namespace {

using test::TestClient;
using test::WaitFor;

const std::string kAdmCid = "\"ADM-CID\"0001R0001L0001[#001234|1130 01 015]";

class ClientAccessTest : public ::testing::Test {
 protected:
  void Start(const std::string& access) {
    File("ClientAccess.ini", access);
    EngineOptions options;
    options.workDir = dir_.path().toStdString();
    options.ports = PortSettings::AnyFree();
    engine_ = std::make_unique<Engine>(clock_, prompt_, sound_, options);
    engine_->clientPorts().SetSendObserver(test::CheckClientSend);
    std::string error;
    ASSERT_TRUE(engine_->Start(&error)) << error;
  }
  void File(const char* name, const std::string& bytes) {
    ASSERT_TRUE(test::WriteWorkFile(dir_, name, bytes));
  }
  bool Journalled(const std::string& text) {
    const auto& j = engine_->journal().Entries();
    return std::find(j.begin(), j.end(), text) != j.end();
  }
  size_t JournalLinesStarting(const std::string& prefix) {
    const auto& j = engine_->journal().Entries();
    return size_t(std::count_if(j.begin(), j.end(),
                                [&](const std::string& e) { return e.starts_with(prefix); }));
  }
  // True when a client from source is let in on port: it stays connected
  // and is counted (count() goes to want), or is closed unseen.
  bool Admitted(const char* source, quint16 port, const std::function<int()>& count, int want) {
    auto client = std::make_unique<TestClient>();
    client->ConnectFrom(source, port);
    const auto closed = [&] { return client->socket.state() == QAbstractSocket::UnconnectedState; };
    EXPECT_TRUE(WaitFor([&] { return count() == want || closed(); })) << source << " on " << port;
    const bool in = !closed();
    if (!in) {
      EXPECT_EQ(client->received, "");  // not even a greeting
    }
    kept_.push_back(std::move(client));
    return in;
  }
  // A DC-09 datagram from source: true when it was answered.
  bool DatagramAnswered(const char* source) {
    QUdpSocket udp;
    EXPECT_TRUE(udp.bind(QHostAddress(QString::fromLatin1(source)), 0));
    udp.writeDatagram("REQ", QHostAddress::LocalHost, engine_->dc09Receiver().Port());
    return WaitFor([&] { return udp.hasPendingDatagrams(); }, 500);
  }

  QTemporaryDir dir_;
  test::FakeClock clock_;
  HeadlessPrompt prompt_;
  test::CountingSound sound_;
  std::unique_ptr<Engine> engine_;
  std::vector<std::unique_ptr<TestClient>> kept_;
};

TEST_F(ClientAccessTest, OnlyListedAddressesReachEveryRestrictedPort) {
  // [Modules] in the form a dual-stack listener sees: it matches as IPv4.
  Start("[Clients]\r\n127.0.0.1\r\n[Modules]\r\n::ffff:127.0.0.1\r\n");
  ClientPorts& clients = engine_->clientPorts();
  IpReceivers& ip = engine_->ipReceivers();
  const struct {
    const char* what;
    quint16 port;
    std::function<int()> count;
  } ports[] = {
      {"Wardex client port", clients.WardexPort(), [&] { return clients.WardexClientCount(); }},
      {"second console port", clients.Console2Port(),
       [&] { return clients.Console2ClientCount(); }},
      {"8097", ip.Port(IpListener::P8097), [&] { return ip.ConnectionCount(IpListener::P8097); }},
      {"8095", ip.Port(IpListener::P8095), [&] { return ip.ConnectionCount(IpListener::P8095); }},
  };
  for (const auto& p : ports) {
    SCOPED_TRACE(p.what);
    EXPECT_FALSE(Admitted("127.0.0.2", p.port, p.count, 1));
    EXPECT_TRUE(Admitted("127.0.0.1", p.port, p.count, 1));
  }
  // Named once in the minute, though refused on four ports; no client line.
  EXPECT_EQ(JournalLinesStarting("Access refused: IP 127.0.0.2 on port "), 1u);
  EXPECT_EQ(JournalLinesStarting("Client Connect: IP 127.0.0.2"), 0u);
  EXPECT_EQ(JournalLinesStarting("Client Connect: IP 127.0.0.1"), 1u);

  // The relay port takes [Clients]: only the listed peer's text arrives.
  TestClient outsider, insider;
  outsider.ConnectFrom("127.0.0.2", engine_->relayListener().Port());
  outsider.Send("L1;+79001112233;GSM XCALL;0;CRING;VORTI");
  EXPECT_TRUE(outsider.WaitClosed());
  ASSERT_TRUE(insider.ConnectFrom("127.0.0.1", engine_->relayListener().Port()));
  insider.Send("VORTI_2;00 0887 C4;VORTI;VORTI_EVENT|");
  ASSERT_TRUE(WaitFor([&] { return engine_->noticeQueue().Size() == 1; }));
  EXPECT_EQ(engine_->noticeQueue().Entries()[0].origin, NoticeOrigin::Relay);

  // UDP: the refused datagram is dropped before its trace line.
  const size_t traced = engine_->trace().Size();
  EXPECT_FALSE(DatagramAnswered("127.0.0.2"));
  EXPECT_EQ(engine_->trace().Size(), traced);
  EXPECT_TRUE(DatagramAnswered("127.0.0.1"));

  // A minute later the address is named again.
  clock_.Advance(ClientAccess::kRefusalWindowMs);
  engine_->ConsoleOutputTick();
  EXPECT_FALSE(Admitted(
      "127.0.0.2", clients.WardexPort(), [&] { return clients.WardexClientCount(); }, 2));
  EXPECT_EQ(JournalLinesStarting("Access refused: IP 127.0.0.2 on port "), 2u);
  EXPECT_FALSE(
      Journalled("Any address is accepted on ports " + std::to_string(clients.WardexPort())));
}

// The loopback client connects from 127.0.0.1, which is not listed: it is
// told by its socket, and gets the ring notices; a process of the same host
// does not get in.
TEST_F(ClientAccessTest, LoopbackClientGetsInWhileItsAddressIsNotListed) {
  File("objects.txt", "Shop7\t+79001112233\tR2\r\n");
  Start("[Clients]\r\n10.0.0.0/8\r\n");
  engine_->SupervisionTick();  // starts the loopback client
  ClientPorts& clients = engine_->clientPorts();
  ASSERT_TRUE(WaitFor([&] { return engine_->loopbackClient()->Connected(); }));
  ASSERT_TRUE(WaitFor([&] { return clients.WardexClientCount() == 1; }));
  EXPECT_TRUE(clients.FirstWardexIsOwn());
  EXPECT_FALSE(Admitted(
      "127.0.0.1", clients.WardexPort(), [&] { return clients.WardexClientCount(); }, 2));
}

// A refused client of the second console port does not count as one: 8097
// still queues offline events for the console.
TEST_F(ClientAccessTest, RefusedSecondConsoleClientLeaves8097QueueingUnchanged) {
  Start("[Clients]\r\n127.0.0.1\r\n");
  engine_->ipSettings().storeOffline = true;
  ClientPorts& clients = engine_->clientPorts();
  EXPECT_FALSE(Admitted(
      "127.0.0.2", clients.Console2Port(), [&] { return clients.Console2ClientCount(); }, 1));
  TestClient module;
  ASSERT_TRUE(module.Connect(engine_->ipReceivers().Port(IpListener::P8097)));
  ASSERT_TRUE(module.WaitReceived(24));
  module.Send(kAdmCid);
  ASSERT_TRUE(module.WaitReceived(24 + 4));
  EXPECT_EQ(engine_->consoleQueue().Size(), 1u);
}

// A section without one valid entry admits nobody; its bad line is named.
// Ports without a section serve everyone, and the journal says which.
TEST_F(ClientAccessTest, EmptySectionShutsItsPortsAndTheOthersStayOpen) {
  Start("[Relay]\r\nnot-an-address\r\n");
  EXPECT_TRUE(Journalled("ClientAccess.ini line 2 skipped: not-an-address"));
  ClientPorts& clients = engine_->clientPorts();
  const std::string open = "Any address is accepted on ports " +
                           std::to_string(clients.WardexPort()) + ", " +
                           std::to_string(clients.Console2Port()) + ", " +
                           std::to_string(engine_->ipReceivers().Port(IpListener::P8097));
  EXPECT_EQ(JournalLinesStarting(open), 1u);
  EXPECT_TRUE(Admitted(
      "127.0.0.2", clients.WardexPort(), [&] { return clients.WardexClientCount(); }, 1));
  TestClient relay;
  relay.ConnectFrom("127.0.0.1", engine_->relayListener().Port());
  EXPECT_TRUE(relay.WaitClosed());
}

// The standard DC-09 receiver's TCP port is a module port: [Modules] guards
// it, and without that section the start-up line names it as open.
TEST_F(ClientAccessTest, Dc09TcpPortFollowsTheModulesSection) {
  const auto freePort = [] {
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::Any, 0));
    return probe.serverPort();
  };
  const quint16 tcpPort = freePort();
  File("DC09.ini",
       "[Receiver]\r\nTcpPort=" + std::to_string(tcpPort) + "\r\n[Accounts]\r\n1234=1234\r\n");
  Start("[Modules]\r\n127.0.0.1\r\n");
  ASSERT_TRUE(engine_->standardDc09() && engine_->standardDc09()->tcp());
  Dc09TcpListener& tcp = *engine_->standardDc09()->tcp();
  const auto count = [&] { return int(tcp.ConnectionCount()); };
  EXPECT_FALSE(Admitted("127.0.0.2", tcp.Port(), count, 1));
  EXPECT_TRUE(Admitted("127.0.0.1", tcp.Port(), count, 1));
  EXPECT_EQ(JournalLinesStarting("Access refused: IP 127.0.0.2 on port "), 1u);

  engine_.reset();
  Start("");  // a file without sections: every port open
  EXPECT_TRUE(JournalLinesStarting("Any address is accepted on ports ") == 1u);
  const auto& j = engine_->journal().Entries();
  const auto open = std::find_if(j.begin(), j.end(), [](const std::string& e) {
    return e.starts_with("Any address is accepted on ports ");
  });
  ASSERT_NE(open, j.end());
  EXPECT_TRUE(open->ends_with(", " + std::to_string(engine_->standardDc09()->tcp()->Port())))
      << *open;
}

}  // namespace
}  // namespace quell
