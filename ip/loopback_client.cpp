#include "ip/loopback_client.h"

#include <QNetworkProxy>

#include "core/text.h"
#include "core/wire.h"
#include "ip/peer_address.h"

namespace quell {

LoopbackClient::LoopbackClient(Journal& journal, TraceView& trace,
                               const std::vector<std::string>& objects)
    : journal_(journal), trace_(trace), objects_(objects) {
  socket_.setProxy(QNetworkProxy::NoProxy);  // our own port, on this host
  retry_.setSingleShot(true);
  retry_.setInterval(kReconnectMs);
  QObject::connect(&retry_, &QTimer::timeout, &socket_, [this] { Start(port_); });
  QObject::connect(&socket_, &QTcpSocket::connected, &socket_, [this] {
    journal_.InsertTop("Local Connect: IP " + PeerAddressText(socket_) + ",  PORT " +
                       std::to_string(socket_.peerPort()));
  });
  QObject::connect(&socket_, &QTcpSocket::readyRead, &socket_, [this] { OnData(); });
  QObject::connect(&socket_, &QTcpSocket::disconnected, &socket_, [this] { retry_.start(); });
  QObject::connect(&socket_, &QTcpSocket::errorOccurred, &socket_,
                   [this](QAbstractSocket::SocketError) {
                     trace_.Append("Local client: " + socket_.errorString().toStdString());
                     if (socket_.state() != QAbstractSocket::ConnectedState) retry_.start();
                   });
}

LoopbackClient::~LoopbackClient() {
  // The socket's last signals must not reach the timer or this object.
  socket_.disconnect();
}

void LoopbackClient::Start(quint16 port) {
  port_ = port;
  socket_.abort();
  // Bound first, so the local end is known before the listener accepts
  // the connection: that is how the listener tells this client apart.
  boundPort_ = 0;
  if (socket_.bind(QHostAddress::LocalHost, 0)) boundPort_ = socket_.localPort();
  socket_.connectToHost(QHostAddress::LocalHost, port);
}

std::string LoopbackClient::AnswerFor(const std::string& notice,
                                      const std::vector<std::string>& objects) {
  if (!Contains(notice, "CRING")) return {};
  const std::string caller = FieldAt(notice, 2, ";");
  const std::string line = FieldAt(notice, 1, ";");
  const std::string tab(1, kTAB);
  for (const std::string& record : objects) {
    if (!Contains(record, caller)) continue;
    const std::string object = FieldAt(record, 1, tab);
    if (IsFalse(object)) break;
    return line + ";ATA;" + object + ";" + FieldAt(record, 3, tab);
  }
  return line + ";ATH;";
}

bool LoopbackClient::IsOwnPeer(const QHostAddress& peer, quint16 peerPort) const {
  return boundPort_ != 0 && peerPort == boundPort_ &&
         PeerAddressText(peer) == PeerAddressText(QHostAddress(QHostAddress::LocalHost));
}

void LoopbackClient::AnswerRing(const std::string& notice) {
  if (!Connected()) return;
  const std::string request = AnswerFor(notice, objects_);
  if (!request.empty()) socket_.write(request.data(), qint64(request.size()));
}

// What arrives on the socket is only traced: the ring notices it acts on
// come from the drain.
void LoopbackClient::OnData() {
  const QByteArray bytes = socket_.readAll();
  trace_.Append(std::string(bytes.constData(), size_t(bytes.size())));
}

}  // namespace quell
