#include "sim/ip/ip_fleet.h"

#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>

#include "tests/support/loopback.h"

namespace quell::sim {
namespace {

// The gateway's side in miniature: greets, answers an event with ACK and a
// keep-alive with CR before closing.
class TinyGateway {
 public:
  TinyGateway() {
    server_.listen(QHostAddress::LocalHost);
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->write(QByteArray(24, '\0'));
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
          const bool keepAlive = socket->readAll().startsWith("SR");
          socket->write(keepAlive ? "\r" : "ACK\r");
          if (keepAlive) socket->disconnectFromHost();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      }
    });
  }
  quint16 Port() const { return server_.serverPort(); }
  void Stop() { server_.close(); }

 private:
  QTcpServer server_;
};

TEST(IpFleet, RoundTripsOverLoopback) {
  const struct {
    const char* what;
    bool listening, keepAlive;
    uint64_t connected, ack, refused;
  } cases[] = {
      {"events", true, false, 3, 6, 0},
      {"keep-alives", true, true, 6, 6, 0},
      {"nobody listens", false, false, 0, 0, 6},
  };
  for (const auto& c : cases) {
    TinyGateway gateway;
    const quint16 port = gateway.Port();
    if (!c.listening) gateway.Stop();
    IpStats stats;
    IpFleet fleet(QHostAddress::LocalHost, port, stats);
    for (uint32_t i = 0; i < 3; ++i) fleet.Add({{.account = 100 + i}, c.keepAlive, 2, 2000});
    fleet.Start();
    ASSERT_TRUE(test::WaitFor([&] { return fleet.Done(); })) << c.what;
    EXPECT_EQ(stats.Counts().connected, c.connected) << c.what;
    EXPECT_EQ(stats.Counts().greeted, c.connected) << c.what;
    EXPECT_EQ(stats.Counts().ack, c.ack) << c.what;
    EXPECT_EQ(stats.Counts().refused, c.refused) << c.what;
    EXPECT_EQ(stats.Messages(), 6u) << c.what;
  }
}

}  // namespace
}  // namespace quell::sim
