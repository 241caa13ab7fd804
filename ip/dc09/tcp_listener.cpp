#include "ip/dc09/tcp_listener.h"

#include <QPointer>

#include "ip/client_access.h"
#include "ip/event_delivery.h"
#include "ip/listen_backlog.h"
#include "ip/peer_address.h"

namespace quell {

Dc09TcpListener::Dc09TcpListener(Clock& clock, Journal& journal, TraceView& trace,
                                 StandardDc09Receiver& receiver)
    : clock_(clock), journal_(journal), trace_(trace), receiver_(receiver) {
  PrepareListener(server_);
  QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { Accept(); });
  idleTimer_.setInterval(kIdleCheckMs);
  QObject::connect(&idleTimer_, &QTimer::timeout, &server_, [this] { CloseIdle(); });
}

Dc09TcpListener::~Dc09TcpListener() {
  // The sockets are the server's children and go with it.
  for (auto& [socket, connection] : connections_) socket->disconnect();
}

bool Dc09TcpListener::Listen(int port) {
  if (server_.isListening()) return true;
  if (!server_.listen(QHostAddress::Any, quint16(port))) {
    trace_.Append("Listen " + std::to_string(port) + ": " + server_.errorString().toStdString());
    return false;
  }
  idleTimer_.start();
  return true;
}

void Dc09TcpListener::Accept() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    if (RefusedAtAccept(access_, AccessGroup::Modules, socket)) continue;
    connections_[socket].lastTick = clock_.TickCount();
    // Replies leave at once, not behind the panel's delayed TCP ACK.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Read(socket); });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
      connections_.erase(socket);
      socket->deleteLater();
    });
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket,
                     [socket](QAbstractSocket::SocketError) { socket->abort(); });
  }
}

void Dc09TcpListener::Read(QTcpSocket* socket) {
  const auto it = connections_.find(socket);
  if (it == connections_.end()) return;
  it->second.lastTick = clock_.TickCount();
  const QByteArray bytes = socket->readAll();
  // Replies may leave after this read, once their event is stored.
  const auto reply = [to = QPointer<QTcpSocket>(socket)](const std::string& frame) {
    if (to && to->state() == QAbstractSocket::ConnectedState)
      to->write(frame.data(), qint64(frame.size()));
  };
  // Replies keep their order per connection.
  const std::string sender =
      "tcp " + PeerAddressText(*socket) + ":" + std::to_string(socket->peerPort());
  // Frames of one read are answered in the order they came.
  for (const auto& piece :
       it->second.framer.Feed(std::string_view(bytes.constData(), size_t(bytes.size())))) {
    if (piece.overflow) {
      trace_.Append("dc09 tcp: unfinished frame over " +
                    std::to_string(Dc09StreamFramer::kMaxFrame) + " bytes discarded");
      receiver_.SendInOrder(sender, receiver_.NakNow(), reply);
      continue;
    }
    trace_.Append(" dc09 tcp : " + piece.frame);
    JournalIpMessage(journal_, clock_, piece.frame);
    receiver_.Serve(piece.frame, reply, sender, std::to_string(Port()));
  }
}

void Dc09TcpListener::CloseIdle() {
  const uint32_t now = clock_.TickCount();
  std::vector<QTcpSocket*> idle;
  for (const auto& [socket, connection] : connections_)
    if (TicksSince(now, connection.lastTick) >= kIdleMs) idle.push_back(socket);
  for (QTcpSocket* socket : idle) {
    connections_.erase(socket);
    socket->disconnect();
    socket->abort();
    socket->deleteLater();
  }
}

}  // namespace quell
