// Monitoring in the running engine: nothing of it without Monitoring.ini;
// with the file it listens, its meter counts what the receivers answer and
// the store keeps, and a port that cannot be bound leaves the gateway running.
#include <gtest/gtest.h>

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "engine/engine.h"
#include "engine/engine_monitoring.h"
#include "engine/startup_summary.h"
#include "ip/dc09_receiver.h"
#include "sim/dc09/dc09_link.h"
#include "tests/support/fake_clock.h"
#include "tests/support/loopback.h"
#include "tests/support/work_files.h"

namespace quell {
namespace {

using test::WaitFor;

class NoSound final : public AlarmSound {
 public:
  void Play() override {}
};

int FreePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

class MonitoringEngineTest : public ::testing::Test {
 protected:
  MonitoringEngineTest() { clock_.SetNow(QDateTime::currentDateTime()); }
  void Write(const char* name, const std::string& text) {
    ASSERT_TRUE(test::WriteWorkFile(dir_, name, text));
  }
  void Start() {
    EngineOptions options;
    options.workDir = dir_.path().toStdString();
    options.ports = PortSettings::AnyFree();
    engine_ = std::make_unique<Engine>(clock_, prompt_, sound_, options);
    std::string error;
    ASSERT_TRUE(engine_->Start(&error)) << error;
  }
  std::string JournalText() {
    std::string all;
    for (const std::string& line : engine_->journal().Entries()) all += line + "\n";
    return all;
  }

  QTemporaryDir dir_;
  test::FakeClock clock_;
  HeadlessPrompt prompt_;
  NoSound sound_;
  std::unique_ptr<Engine> engine_;
};

TEST_F(MonitoringEngineTest, NothingWithoutTheFileButAHintInTheSummary) {
  Start();
  EXPECT_EQ(engine_->monitoring(), nullptr);
  EXPECT_EQ(engine_->meter(), nullptr);
  EXPECT_EQ(JournalText().find("onitoring"), std::string::npos);
  EXPECT_NE(StartupSummary(*engine_).find("examples/monitoring/Monitoring.ini"), std::string::npos);
}

TEST_F(MonitoringEngineTest, CountsRepliesAndStoredEventsOfTheDc09Port) {
  const int port = FreePort();
  Write("Monitoring.ini",
        "[Http]\r\nListen=127.0.0.1:" + std::to_string(port) + "\r\nListen=oops\r\n");
  Start();
  ASSERT_NE(engine_->monitoring(), nullptr);
  EngineMonitoring& m = *engine_->monitoring();
  ASSERT_EQ(m.Listening().size(), 1u);
  const std::string journal = JournalText();
  EXPECT_NE(journal.find("Monitoring.ini line 3: not an address:port"), std::string::npos)
      << journal;
  EXPECT_NE(journal.find(std::to_string(port) + " (monitoring)"), std::string::npos) << journal;
  EXPECT_NE(StartupSummary(*engine_).find("monitoring: http://127.0.0.1:" + std::to_string(port)),
            std::string::npos);

  sim::Dc09Sender sender(sim::Dc09Message{}, false, 3000);
  sim::Dc09Link link(sender, QHostAddress::LocalHost, engine_->dc09Receiver().Port(), 3, 0, 3,
                     false);
  bool done = false;
  link.SetDoneHandler([&] { done = true; });
  std::string error;
  ASSERT_TRUE(link.Start(&error)) << error;
  ASSERT_TRUE(WaitFor([&] { return done; }));
  EXPECT_EQ(sender.Counts().ack, 3u);
  const auto has = [&](const std::string& line) {
    return m.metrics().Scrape().find("\n" + line + "\n") != std::string::npos;
  };
  EXPECT_TRUE(WaitFor([&] { return has("quell_events_accepted_total{road=\"dc09\"} 3"); }))
      << m.metrics().Scrape();
  EXPECT_TRUE(has("quell_replies_total{kind=\"ACK\",road=\"dc09\"} 3"));
  EXPECT_TRUE(has("quell_store_up 1"));
}

TEST_F(MonitoringEngineTest, APortThatCannotBeBoundIsJournalledAndTheGatewayRunsOn) {
  QTcpServer taken;
  ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
  Write("Monitoring.ini",
        "[Http]\r\nListen=127.0.0.1:" + std::to_string(taken.serverPort()) + "\r\n");
  Start();
  ASSERT_NE(engine_->monitoring(), nullptr);
  EXPECT_TRUE(engine_->monitoring()->Listening().empty());
  EXPECT_EQ(engine_->monitoring()->NotListening().size(), 1u);
  EXPECT_NE(JournalText().find("Monitoring: cannot listen on"), std::string::npos) << JournalText();
  EXPECT_NE(StartupSummary(*engine_).find("monitoring: NOT listening on"), std::string::npos);
}

TEST_F(MonitoringEngineTest, AnIpv6AddressListensAndOneThatCannotBeBoundIsSaidLikeIpv4) {
  QTcpServer taken;
  if (!taken.listen(QHostAddress::LocalHostIPv6, 0)) GTEST_SKIP() << "no IPv6 loopback here";
  QTcpServer probe;
  ASSERT_TRUE(probe.listen(QHostAddress::LocalHostIPv6, 0));
  const std::string free = std::to_string(probe.serverPort());
  probe.close();
  const std::string busy = std::to_string(taken.serverPort());
  Write("Monitoring.ini", "[Http]\r\nListen=[::1]:" + busy + "\r\nListen=[::1]:" + free + "\r\n");
  Write("ClientAccess.ini", "[Monitoring]\r\n::1\r\n");
  Start();
  ASSERT_NE(engine_->monitoring(), nullptr);
  EngineMonitoring& m = *engine_->monitoring();
  EXPECT_EQ(m.Listening(), std::vector<std::string>{"[::1]:" + free});
  EXPECT_EQ(m.NotListening(), std::vector<std::string>{"[::1]:" + busy});
  const std::string journal = JournalText();
  EXPECT_NE(journal.find("Monitoring: cannot listen on [::1]:" + busy + ": "), std::string::npos)
      << journal;
  EXPECT_NE(journal.find("Monitoring: listening on [::1]:" + free), std::string::npos);
  const std::string summary = StartupSummary(*engine_);
  EXPECT_NE(summary.find("monitoring: http://[::1]:" + free + "/"), std::string::npos) << summary;
  EXPECT_NE(summary.find("monitoring: NOT listening on [::1]:" + busy), std::string::npos);

  // The allowlist's ::1 is let in through the relay.
  QTcpSocket client;
  client.connectToHost(QHostAddress::LocalHostIPv6, quint16(std::stoi(free)));
  ASSERT_TRUE(client.waitForConnected(5000));
  client.write("GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  QByteArray answer;
  while (client.state() == QAbstractSocket::ConnectedState && client.waitForReadyRead(5000))
    answer += client.readAll();
  answer += client.readAll();
  EXPECT_TRUE(answer.startsWith("HTTP/1.1 200")) << answer.left(200).toStdString();
  EXPECT_TRUE(
      answer.contains("quell_access_refused_total{port=\"" + QByteArray(free.c_str()) + "\"} 0"));
}

}  // namespace
}  // namespace quell
