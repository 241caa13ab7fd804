// Start-up order of the station client ports: the second console port opens
// with the fixed listeners, before "quellport" chooses the Wardex client port,
// so a "quellport" naming the console's port cannot take its feed.
#include <gtest/gtest.h>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <algorithm>

#include "core/cp1251.h"
#include "engine/engine.h"
#include "ip/client_ports.h"
#include "tests/support/fake_clock.h"
#include "tests/support/loopback.h"

namespace quell {
namespace {

class QuietSound final : public AlarmSound {
 public:
  void Play() override {}
};

// "quellport" holds four digits: a free port below 10000.
quint16 FreeFourDigitPort() {
  for (quint16 p = 9000; p < 10000; ++p) {
    QTcpServer probe;
    if (probe.listen(QHostAddress::Any, p)) return p;
  }
  return 0;
}

TEST(Console2PortOrderTest, QuellportHoldingTheSecondConsolePortFailsTheWardexPortOnly) {
  const quint16 port = FreeFourDigitPort();
  ASSERT_NE(port, 0);
  QTemporaryDir dir;
  {
    QFile file(dir.filePath(QStringLiteral("quellport")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::number(port) + "\r\n");
  }
  EngineOptions options;
  options.workDir = dir.path().toStdString();
  options.ports.wardex = 0;
  options.ports.console2 = port;
  options.ports.ip8095 = options.ports.ip8096 = options.ports.ip8097 = options.ports.ip8098 = 0;
  options.ports.relay = options.ports.sia = 0;
  test::FakeClock clock;
  HeadlessPrompt prompt;
  QuietSound sound;
  Engine engine(clock, prompt, sound, options);
  std::string error;
  ASSERT_TRUE(engine.Start(&error)) << error;

  ClientPorts& clients = engine.clientPorts();
  ASSERT_TRUE(clients.Console2Listening());
  EXPECT_EQ(clients.Console2Port(), port);
  EXPECT_FALSE(clients.WardexListening());
  const std::string listenFailed = "Listen " + std::to_string(port) + ": ";
  const std::vector<std::string> trace = engine.trace().Lines();
  EXPECT_TRUE(
      std::any_of(trace.begin(), trace.end(),
                  [&](const std::string& line) { return line.rfind(listenFailed, 0) == 0; }))
      << "no \"" << listenFailed << "\" in the trace";
  // The journal names the port asked for, though nothing listens on it.
  EXPECT_EQ(engine.journal().Entries().back(), W("Порт клиента WX: ") + std::to_string(port));

  // The console feed reaches the second console's client.
  test::TestClient console2;
  ASSERT_TRUE(console2.Connect(port));
  ASSERT_TRUE(test::WaitFor([&] { return clients.Console2ClientCount() == 1; }));
  EXPECT_EQ(clients.WardexClientCount(), 0);
  clients.SendToFirstConsole2("5011 181234E13001015\r");
  ASSERT_TRUE(console2.WaitReceived(21));
}

}  // namespace
}  // namespace quell
