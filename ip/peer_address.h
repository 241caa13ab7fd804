#pragma once
// A connection's peer address as plain text; IPv4 peers reached through a
// dual-stack listener are printed without the "::ffff:" prefix.
#include <QHostAddress>
#include <QTcpSocket>
#include <charconv>
#include <string>

namespace quell {

inline std::string PeerAddressText(const QHostAddress& address) {
  bool isV4 = false;
  const quint32 v4 = address.toIPv4Address(&isV4);
  if (!isV4) return address.toString().toStdString();
  // Dotted decimal as QHostAddress prints it, without its QString round
  // trip: this runs for every message of a busy gateway.
  std::string text;
  text.reserve(15);
  for (int shift = 24; shift >= 0; shift -= 8) {
    char octet[3];
    text.append(octet, std::to_chars(octet, octet + sizeof octet, (v4 >> shift) & 0xff).ptr);
    if (shift > 0) text += '.';
  }
  return text;
}

inline std::string PeerAddressText(const QTcpSocket& socket) {
  return PeerAddressText(socket.peerAddress());
}

}  // namespace quell
