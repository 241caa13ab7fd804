// The engine as a whole over real loopback sockets, with the clock and the
// timer handlers driven by the test.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>

#include "console/console_output.h"
#include "core/cp1251.h"
#include "engine/engine.h"
#include "ip/client_ports.h"
#include "ip/ip_receivers.h"
#include "tests/support/fake_clock.h"
#include "tests/support/loopback.h"

namespace quell {
namespace {

using test::TestClient;
using test::WaitFor;

const std::string kAdmCid = "\"ADM-CID\"0001R0001L0001[#001234|1130 01 015]";
const std::string kEventLine = "5011 181234E13001015";
const std::string kKeepAlive = "SR0001L0001     #1234[]";  // account at 18-21

class SilentSound final : public AlarmSound {
 public:
  void Play() override { ++plays; }
  int plays = 0;
};

void WriteFile(const QString& path, const std::string& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes.data(), qint64(bytes.size()));
}

class EngineTest : public ::testing::Test {
 protected:
  void Start() {
    EngineOptions options;
    options.workDir = dir_.path().toStdString();
    options.ports.wardex = 0;
    options.ports.console2 = 0;
    options.ports.ip8095 = options.ports.ip8096 = options.ports.ip8097 = options.ports.ip8098 = 0;
    options.ports.relay = options.ports.sia = 0;
    engine_ = std::make_unique<Engine>(clock_, prompt_, sound_, options);
    engine_->clientPorts().SetSendObserver(test::CheckClientSend);
    std::string error;
    ASSERT_TRUE(engine_->Start(&error)) << error;
  }
  void File(const char* name, const std::string& bytes) {
    WriteFile(dir_.filePath(QString::fromLatin1(name)), bytes);
  }
  quint16 IpPort(IpListener l) { return engine_->ipReceivers().Port(l); }
  quint16 WardexPort() { return engine_->clientPorts().WardexPort(); }
  quint16 Console2Port() { return engine_->clientPorts().Console2Port(); }

  QTemporaryDir dir_;
  test::FakeClock clock_;
  HeadlessPrompt prompt_;
  SilentSound sound_;
  std::unique_ptr<Engine> engine_;
};

TEST_F(EngineTest, AdmCidEventIsAcknowledgedAndReachesBothFirstClients) {
  Start();
  TestClient wardex, wardex2, console2, module;
  ASSERT_TRUE(wardex.Connect(WardexPort()));
  ASSERT_TRUE(WaitFor([&] { return engine_->clientPorts().WardexClientCount() == 1; }));
  ASSERT_TRUE(wardex2.Connect(WardexPort()));
  ASSERT_TRUE(console2.Connect(Console2Port()));
  ASSERT_TRUE(WaitFor([&] { return engine_->clientPorts().Console2ClientCount() == 1; }));
  ASSERT_TRUE(module.Connect(IpPort(IpListener::P8097)));
  ASSERT_TRUE(module.WaitReceived(24));  // greeting
  module.Send(kAdmCid);
  ASSERT_TRUE(module.WaitReceived(24 + 4));
  EXPECT_EQ(module.After(24), "ACK\r");
  const std::string toWardex = "MLR;" + kEventLine + "\r;MLR_EVENT|";
  ASSERT_TRUE(wardex.WaitReceived(toWardex.size()));
  EXPECT_EQ(wardex.received, toWardex);
  ASSERT_TRUE(console2.WaitReceived(kEventLine.size() + 1));
  EXPECT_EQ(console2.received, kEventLine + "\r");
  EXPECT_TRUE(wardex2.received.empty());
  // The journal shows the port line at the bottom and the message on top.
  EXPECT_EQ(engine_->journal().Entries().back(),
            W("Порт клиента WX: ") + std::to_string(WardexPort()));
}

TEST_F(EngineTest, SilentModuleIsReportedLostOnceAndRestoredWhenHeardAgain) {
  File("param0", "00:00:05\r\n0\r\n0\r\n1\r\n");
  Start();
  TestClient wardex;
  ASSERT_TRUE(wardex.Connect(WardexPort()));
  ASSERT_TRUE(WaitFor([&] { return engine_->clientPorts().WardexClientCount() == 1; }));
  {
    TestClient module;
    ASSERT_TRUE(module.Connect(IpPort(IpListener::P8097)));
    module.Send(kKeepAlive);
    ASSERT_TRUE(module.WaitClosed());  // a keep-alive closes the connection
    EXPECT_EQ(module.After(24), "\r");
  }
  ASSERT_EQ(engine_->ipModules().Rows().size(), 1u);
  clock_.Advance(6000);
  engine_->ConsoleOutputTick();
  engine_->ConsoleOutputTick();  // reported once only
  engine_->NoticeDrainTick();
  engine_->NoticeDrainTick();
  const std::string lost = "QuellServer;5011 181234E35600000;MLR_EVENT|";
  ASSERT_TRUE(wardex.WaitReceived(lost.size()));
  EXPECT_EQ(wardex.received, lost);
  EXPECT_EQ(engine_->consoleQueue().Snapshot(), std::vector<std::string>{"5011 181234E35600000"});

  TestClient again;
  ASSERT_TRUE(again.Connect(IpPort(IpListener::P8097)));
  again.Send(kKeepAlive);
  ASSERT_TRUE(again.WaitClosed());
  engine_->NoticeDrainTick();
  const std::string restored = "QuellServer;5011 181234R35600000;MLR_EVENT|";
  ASSERT_TRUE(wardex.WaitReceived(lost.size() + restored.size()));
  EXPECT_EQ(wardex.After(lost.size()), restored);
}

TEST_F(EngineTest, ConsoleLinkComesUpThroughSecondConsoleAndQueuedEventsFlowOnePerTick) {
  Start();
  TestClient console2;
  ASSERT_TRUE(console2.Connect(Console2Port()));
  ASSERT_TRUE(WaitFor([&] { return engine_->clientPorts().Console2ClientCount() == 1; }));
  engine_->consoleQueue().Append("5011 180099R35600000");
  engine_->consoleQueue().Append("5011 180099E35600000");
  for (int tick = 1; tick <= 20; ++tick) engine_->ConsoleOutputTick();
  EXPECT_TRUE(console2.received.empty());
  engine_->ConsoleOutputTick();  // the 21st tick sends the link test
  const std::string heartbeat = std::string("1011           @    ") + char(20);
  ASSERT_TRUE(console2.WaitReceived(heartbeat.size()));
  EXPECT_EQ(console2.received, heartbeat);
  console2.Send("\x06");
  ASSERT_TRUE(WaitFor([&] { return engine_->consoleOutput().ConsoleAcknowledged().load(); }));
  engine_->ConsoleOutputTick();
  EXPECT_TRUE(engine_->consoleOutput().LinkUp());
  ASSERT_TRUE(console2.WaitReceived(heartbeat.size() + 20));
  EXPECT_EQ(console2.After(heartbeat.size()), "5011 180099R35600000");
  EXPECT_EQ(engine_->consoleQueue().Size(), 1u);
  engine_->ConsoleOutputTick();
  ASSERT_TRUE(console2.WaitReceived(heartbeat.size() + 40));
  EXPECT_TRUE(engine_->consoleQueue().Empty());
}

TEST_F(EngineTest, IdleModuleConnectionIsClosedAfterOneHundredTwentyTicks) {
  Start();
  TestClient module;
  ASSERT_TRUE(module.Connect(IpPort(IpListener::P8098)));
  ASSERT_TRUE(WaitFor([&] { return engine_->ipReceivers().ConnectionCount(IpListener::P8098); }));
  for (int tick = 1; tick <= 120; ++tick) engine_->ConsoleOutputTick();
  EXPECT_EQ(module.socket.state(), QAbstractSocket::ConnectedState);
  engine_->ConsoleOutputTick();
  EXPECT_TRUE(module.WaitClosed());
}

TEST_F(EngineTest, IdleWardexClientGetsHeartbeatAfterThirtyOneSeconds) {
  Start();
  TestClient wardex;
  ASSERT_TRUE(wardex.Connect(WardexPort()));
  ASSERT_TRUE(WaitFor([&] { return engine_->clientPorts().WardexClientCount() == 1; }));
  for (int tick = 1; tick <= 61; ++tick) engine_->NoticeDrainTick();
  WaitFor([] { return false; }, 50);  // let anything sent arrive
  EXPECT_TRUE(wardex.received.empty());
  engine_->NoticeDrainTick();  // tick 62 queues "~HB"
  engine_->NoticeDrainTick();
  ASSERT_TRUE(wardex.WaitReceived(3));
  EXPECT_EQ(wardex.received, "~HB");
}

TEST_F(EngineTest, QuellportChoosesTheWardexClientPort) {
  // "quellport" holds at most four digits: find a free port below 10000.
  quint16 free = 0;
  for (quint16 p = 9000; p < 10000 && !free; ++p) {
    QTcpServer probe;
    if (probe.listen(QHostAddress::Any, p)) free = p;
  }
  ASSERT_NE(free, 0);
  File("quellport", std::to_string(free) + "\r\n");
  Start();
  EXPECT_EQ(WardexPort(), free);
  EXPECT_EQ(engine_->journal().Entries().back(), W("Порт клиента WX: ") + std::to_string(free));
}

TEST_F(EngineTest, BadLineRecordEndsStartUpWithTheConversionError) {
  File("ConnectionType.ini", "L1;MLR;x;COM3,9600,8,0,0,0;ONLINE;;;;\r\n");
  EngineOptions options;
  options.workDir = dir_.path().toStdString();
  options.ports = {0, 0, 0, 0, 0, 0, 0, 0, false};
  Engine engine(clock_, prompt_, sound_, options);
  std::string error;
  EXPECT_FALSE(engine.Start(&error));
  EXPECT_FALSE(error.empty());
}

TEST_F(EngineTest, JournalQueueDrainsOldestOnTopAfterStartUp) {
  File("ConnectionType.ini", "");
  Start();
  EXPECT_TRUE(engine_->supervisionEnabled());
  engine_->journalQueue().PutHead("A");
  engine_->SupervisionTick();  // first tick: start-up only
  EXPECT_EQ(engine_->journalQueue().Size(), 1u);
  engine_->journalQueue().PutHead("B");
  engine_->SupervisionTick();
  EXPECT_EQ(engine_->journal().Entries()[0], "A");
  EXPECT_EQ(engine_->journal().Entries()[1], "B");
}

}  // namespace
}  // namespace quell
