#pragma once
// Shared pieces of the IP channel tests: a console port that records what
// is written, a bounded event-loop wait, and a loopback TCP client.
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <mutex>
#include <string>

#include "console/console_device.h"
#include "core/client_feed.h"

namespace quell::test {

class FakeConsoleDevice final : public ConsoleDevice {
 public:
  bool PortOpen() const override { return portOpen; }
  bool Alive() const override { return alive; }
  void Write(std::string_view bytes) override { written.append(bytes); }

  bool portOpen = false;
  bool alive = false;
  std::string written;
};

// Records what the engine sends to the station clients, without sockets.
class FakeClientFeed final : public ClientFeed {
 public:
  int WardexClientCount() const override { return wardexClients; }
  void SendToFirstWardex(const std::string& text) override { wardex.push_back(text); }
  int Console2ClientCount() const override { return console2Clients; }
  void SendToFirstConsole2(const std::string& text) override { console2.push_back(text); }

  int wardexClients = 0;
  int console2Clients = 0;
  std::vector<std::string> wardex;
  std::vector<std::string> console2;
};

// Runs the event loop until cond holds or the time is up.
inline bool WaitFor(const std::function<bool()>& cond, int timeoutMs = 5000) {
  QDeadlineTimer deadline(timeoutMs);
  while (!cond()) {
    if (deadline.hasExpired()) return false;
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

// A loopback client that collects everything it receives.
class TestClient {
 public:
  TestClient() {
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket,
                     [this] { received += socket.readAll().toStdString(); });
  }
  bool Connect(quint16 port) {
    socket.connectToHost(QHostAddress::LocalHost, port);
    return WaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; });
  }
  void Send(const std::string& bytes) {
    socket.write(bytes.data(), qint64(bytes.size()));
    socket.flush();
  }
  bool WaitReceived(size_t count) {
    return WaitFor([&] { return received.size() >= count; });
  }
  bool WaitClosed() {
    return WaitFor([this] { return socket.state() == QAbstractSocket::UnconnectedState; });
  }
  // Received bytes after the first skip ones (e.g. the greeting).
  std::string After(size_t skip) const {
    return received.size() > skip ? received.substr(skip) : "";
  }

  QTcpSocket socket;
  std::string received;
};

}  // namespace quell::test
