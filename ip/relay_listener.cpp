#include "ip/relay_listener.h"

#include <QTcpSocket>

#include "core/text.h"
#include "ip/client_access.h"
#include "ip/listen_backlog.h"

namespace quell {

RelayListener::RelayListener(TraceView& trace, NoticeList& notices, ClientFeed& clients,
                             const PortSettings& ports)
    : trace_(trace), notices_(notices), clients_(clients), ports_(ports) {
  PrepareListener(server_);
  QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      if (RefusedAtAccept(access_, AccessGroup::Relay, socket)) continue;
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
        const QByteArray bytes = socket->readAll();
        Relay(std::string(bytes.constData(), size_t(bytes.size())));
      });
      QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      QObject::connect(socket, &QTcpSocket::errorOccurred, socket,
                       [socket](QAbstractSocket::SocketError) { socket->abort(); });
    }
  });
}

RelayListener::~RelayListener() {
  for (QTcpSocket* socket : server_.findChildren<QTcpSocket*>()) socket->disconnect();
}

bool RelayListener::Listen() {
  if (server_.isListening()) return true;
  if (server_.listen(QHostAddress::Any, quint16(ports_.relay))) return true;
  trace_.Append("Listen " + std::to_string(ports_.relay) + ": " +
                server_.errorString().toStdString());
  return false;
}

void RelayListener::Relay(const std::string& text) {
  if (clients_.WardexClientCount() > 0 && Contains(text, "VORTI"))
    notices_.Append(NoticeOrigin::Relay, text);
}

void AppendRelayTestText(NoticeList& notices) {
  notices.Append(NoticeOrigin::TestButton, kRelayTestText);
}

}  // namespace quell
