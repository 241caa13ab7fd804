#pragma once
// A connection's peer address as plain text; IPv4 peers reached through a
// dual-stack listener are printed without the "::ffff:" prefix.
#include <QHostAddress>
#include <QTcpSocket>
#include <string>

namespace quell {

inline std::string PeerAddressText(const QHostAddress& address) {
  bool isV4 = false;
  const quint32 v4 = address.toIPv4Address(&isV4);
  return (isV4 ? QHostAddress(v4).toString() : address.toString()).toStdString();
}

inline std::string PeerAddressText(const QTcpSocket& socket) {
  return PeerAddressText(socket.peerAddress());
}

}  // namespace quell
