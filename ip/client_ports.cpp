#include "ip/client_ports.h"

#include <QPointer>
#include <algorithm>

#include "core/text.h"
#include "core/wire.h"
#include "ip/listen_backlog.h"
#include "ip/peer_address.h"

namespace quell {

namespace {

// The peer text of a connection, kept for journalling its end.
constexpr const char* kPeerProperty = "quellPeer";
// Set on the loopback client's connection.
constexpr const char* kOwnProperty = "quellOwn";

}  // namespace

ClientPorts::ClientPorts(Journal& journal, TraceView& trace, ConsoleOutput& output,
                         const PortSettings& ports)
    : journal_(journal), trace_(trace), output_(output), ports_(ports) {
  wardex_.connectText = "Client Connect: IP ";
  wardex_.disconnectText = "XCALL Client DisConnect: IP ";
  console2_.connectText = "Client 2 Connect: IP ";
  console2_.disconnectText = "XCALL Client 2 DisConnect: IP ";
  for (Port* port : {&wardex_, &console2_}) {
    PrepareListener(port->server);
    QObject::connect(&port->server, &QTcpServer::newConnection, &port->server,
                     [this, port] { Accept(*port); });
  }
}

ClientPorts::~ClientPorts() {
  // The sockets die with their server; keep their last signals away from
  // this half-destroyed object.
  for (Port* port : {&wardex_, &console2_})
    for (QTcpSocket* socket : port->server.findChildren<QTcpSocket*>()) socket->disconnect();
}

bool ClientPorts::Listen() {
  const bool console2Ok = ListenConsole2();
  const bool wardexOk = ListenWardex();
  return console2Ok && wardexOk;
}

bool ClientPorts::ListenWardex() {
  return ListenOn(wardex_, ports_.wardex);
}

bool ClientPorts::ListenConsole2() {
  return ListenOn(console2_, ports_.console2);
}

bool ClientPorts::ListenOn(Port& port, int portNumber) {
  if (port.server.isListening()) return true;
  if (port.server.listen(QHostAddress::Any, quint16(portNumber))) return true;
  trace_.Append("Listen " + std::to_string(portNumber) + ": " +
                port.server.errorString().toStdString());
  return false;
}

void ClientPorts::Accept(Port& port) {
  while (QTcpSocket* socket = port.server.nextPendingConnection()) {
    // Refused before it is counted, journalled or sent anything.
    if (RefusedAtAccept(access_, AccessGroup::Clients, socket)) continue;
    // Captured now: the socket forgets its peer once it is closed.
    const std::string peer =
        PeerAddressText(*socket) + ",  PORT " + std::to_string(socket->peerPort());
    port.connections.push_back(socket);
    port.count = int(port.connections.size());
    journal_.InsertTop(port.connectText + peer);
    socket->setProperty(kPeerProperty, QString::fromStdString(peer));
    if (access_ && access_->IsOwn(*socket)) socket->setProperty(kOwnProperty, true);

    QObject::connect(socket, &QTcpSocket::readyRead, socket,
                     [this, &port, socket] { OnData(port, socket); });
    QObject::connect(socket, &QTcpSocket::disconnected, socket,
                     [this, &port, socket, peer] { Drop(port, socket, peer); });
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket,
                     [this, &port, socket, peer](QAbstractSocket::SocketError) {
                       socket->abort();
                       Drop(port, socket, peer);
                     });
    if (&port == &console2_) {
      console2Unsent_[socket];
      QObject::connect(socket, &QTcpSocket::bytesWritten, socket,
                       [this, socket](qint64 bytes) { OnConsole2BytesWritten(socket, bytes); });
    }
    if (socket->state() != QAbstractSocket::ConnectedState) Drop(port, socket, peer);
  }
}

// Idempotent: a socket error and the disconnect that follows it give one
// journal line.
void ClientPorts::Drop(Port& port, QTcpSocket* socket, const std::string& peer) {
  auto it = std::find(port.connections.begin(), port.connections.end(), socket);
  if (it == port.connections.end()) return;
  port.connections.erase(it);
  port.count = int(port.connections.size());
  journal_.InsertTop(port.disconnectText + peer);
  socket->deleteLater();
  auto unsent = console2Unsent_.find(socket);
  if (unsent == console2Unsent_.end()) return;
  auto waiting = std::move(unsent->second.waiting);
  console2Unsent_.erase(unsent);
  for (auto& [end, sent] : waiting) sent(false);
}

void ClientPorts::OnData(Port& port, QTcpSocket* socket) {
  const QByteArray bytes = socket->readAll();
  if (bytes.isEmpty()) return;
  const std::string text(bytes.constData(), size_t(bytes.size()));
  if (&port == &console2_) {
    if (Contains(text, std::string(1, kACK))) output_.ConsoleAcknowledged() = true;
    return;
  }
  // Each read is one request.
  trace_.Append(text);
  if (!onRequest_) return;
  QPointer<QTcpSocket> asker(socket);
  onRequest_(text, [asker](const std::string& reply) {
    if (asker && asker->state() == QAbstractSocket::ConnectedState)
      asker->write(reply.data(), qint64(reply.size()));
  });
}

bool ClientPorts::SendToFirst(Port& port, NoticeOrigin origin, const std::string& text) {
  LetGoOfStuckClients(port);
  if (port.connections.empty()) return false;
  QTcpSocket* first = port.connections.front();
  const qint64 n = first->write(text.data(), qint64(text.size()));
  auto unsent = console2Unsent_.find(first);
  if (unsent != console2Unsent_.end() && n > 0) unsent->second.queued += n;
  if (observer_) observer_(&port == &wardex_, origin, text);
  return true;
}

bool ClientPorts::FirstWardexIsOwn() const {
  return !wardex_.connections.empty() &&
         wardex_.connections.front()->property(kOwnProperty).toBool();
}

void ClientPorts::SendToFirstConsole2Tracked(const std::string& text,
                                             std::function<void(bool sent)> sent) {
  SendToFirst(console2_, NoticeOrigin::IpEvent, text);
  if (console2_.connections.empty()) return sent(false);
  auto unsent = console2Unsent_.find(console2_.connections.front());
  if (unsent == console2Unsent_.end()) return sent(false);
  unsent->second.waiting.emplace_back(unsent->second.queued, std::move(sent));
}

void ClientPorts::OnConsole2BytesWritten(QTcpSocket* socket, qint64 bytes) {
  auto unsent = console2Unsent_.find(socket);
  if (unsent == console2Unsent_.end()) return;
  Unsent& u = unsent->second;
  u.left += bytes;
  while (!u.waiting.empty() && u.waiting.front().first <= u.left) {
    auto sent = std::move(u.waiting.front().second);
    u.waiting.pop_front();
    sent(true);  // may send again: u stays valid, the socket is not dropped here
  }
}

void ClientPorts::LetGoOfStuckClients(Port& port) {
  while (!port.connections.empty() && port.connections.front()->bytesToWrite() > maxUnsent_) {
    QTcpSocket* stuck = port.connections.front();
    const std::string peer = stuck->property(kPeerProperty).toString().toStdString();
    trace_.Append("Client not reading, " + std::to_string(stuck->bytesToWrite()) +
                  " bytes unsent: " + peer);
    stuck->abort();
    Drop(port, stuck, peer);  // nothing when the abort already dropped it
  }
}

}  // namespace quell
