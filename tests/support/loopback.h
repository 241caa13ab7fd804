#pragma once
// Socket tests: a bounded event-loop wait and a loopback TCP client.
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <mutex>
#include <string>

#include "tests/support/fakes.h"

namespace quell::test {

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
  // Connects from another local address (127.0.0.2 is as local as
  // 127.0.0.1, but a different peer to the gateway). True once connected;
  // false also when the peer closed the connection at once.
  bool ConnectFrom(const char* source, quint16 port) {
    if (!socket.bind(QHostAddress(QString::fromLatin1(source)), 0)) return false;
    socket.connectToHost(QHostAddress::LocalHost, port);
    WaitFor([this] {
      return socket.state() == QAbstractSocket::ConnectedState ||
             socket.state() == QAbstractSocket::UnconnectedState;
    });
    return socket.state() == QAbstractSocket::ConnectedState;
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
