#include "ip/client_access.h"

#include "ip/peer_address.h"

namespace quell {

QHostAddress PlainAddress(const QHostAddress& address) {
  bool isV4 = false;
  const quint32 v4 = address.toIPv4Address(&isV4);
  return isV4 ? QHostAddress(v4) : address;
}

std::optional<std::pair<QHostAddress, int>> ParseAccessEntry(const std::string& text) {
  const QString entry = QString::fromLatin1(text.data(), qsizetype(text.size()));
  const qsizetype slash = entry.indexOf(QLatin1Char('/'));
  QHostAddress address;
  if (!address.setAddress(slash < 0 ? entry : entry.left(slash))) return std::nullopt;
  address = PlainAddress(address);
  const int full = address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
  int length = full;
  if (slash >= 0) {
    bool ok = false;
    const QString digits = entry.mid(slash + 1);
    length = digits.toInt(&ok);
    // Digits only: "/+8" or "/ 8" is no prefix length.
    if (!ok || digits.isEmpty() || !digits.front().isDigit() || length < 0 || length > full)
      return std::nullopt;
  }
  return std::make_pair(address, length);
}

ClientAccess::ClientAccess(const Clock& clock, Journal& journal)
    : clock_(clock), journal_(journal) {}

void ClientAccess::Load(const ClientAccessFile& file) {
  auto build = [this](const std::optional<std::vector<AccessEntry>>& entries)
      -> std::optional<std::vector<Network>> {
    if (!entries) return std::nullopt;
    std::vector<Network> networks;
    for (const AccessEntry& e : *entries) {
      if (auto network = ParseAccessEntry(e.text))
        networks.push_back(*network);
      else
        journal_.InsertTop("ClientAccess.ini line " + std::to_string(e.lineNumber) +
                           " skipped: " + e.text);
    }
    return networks;
  };
  for (const AccessEntry& e : file.stray)
    journal_.InsertTop("ClientAccess.ini line " + std::to_string(e.lineNumber) +
                       " skipped: " + e.text);
  clients_ = build(file.clients);
  relay_ = build(file.relay);
  modules_ = build(file.modules);
  monitoring_ = build(file.monitoring);
  relayFromClients_ = !file.relay;
  if (!file.exists) return;
  // What was read, so that a restart after an edit can be checked.
  const auto count = [](const std::optional<std::vector<Network>>& list) {
    if (!list) return std::string("any address (no section)");
    if (list->empty()) return std::string("no valid entry (nobody)");
    return std::to_string(list->size()) + (list->size() == 1 ? " entry" : " entries");
  };
  journal_.InsertTop("ClientAccess.ini read: [Clients] " + count(clients_) + ", [Relay] " +
                     (relayFromClients_ ? std::string("as [Clients]") : count(relay_)) +
                     ", [Modules] " + count(modules_));
}

const std::optional<std::vector<ClientAccess::Network>>& ClientAccess::List(
    AccessGroup group) const {
  switch (group) {
    case AccessGroup::Clients:
      return clients_;
    case AccessGroup::Relay:
      return relayFromClients_ ? clients_ : relay_;
    case AccessGroup::Modules:
      break;
    case AccessGroup::Monitoring:
      return monitoring_;
  }
  return modules_;
}

bool ClientAccess::Admits(AccessGroup group, const QHostAddress& peer) const {
  const auto& list = List(group);
  if (!list) return true;
  const QHostAddress plain = PlainAddress(peer);
  for (const Network& n : *list)
    if (plain.isInSubnet(n.first, n.second)) return true;
  return false;
}

bool ClientAccess::Refuses(AccessGroup group, const QTcpSocket& accepted) {
  if (Open(group) || IsOwn(accepted) || Admits(group, accepted.peerAddress())) return false;
  JournalRefusal(accepted.peerAddress(), "port " + std::to_string(accepted.localPort()));
  if (meter_) meter_->AccessRefused(accepted.localPort());
  return true;
}

bool RefusedAtAccept(ClientAccess* access, AccessGroup group, QTcpSocket* socket) {
  if (!access || !access->Refuses(group, *socket)) return false;
  socket->abort();
  socket->deleteLater();
  return true;
}

bool ClientAccess::RefusesDatagram(AccessGroup group, const QHostAddress& sender, int localPort) {
  if (Admits(group, sender)) return false;
  JournalRefusal(sender, "UDP port " + std::to_string(localPort));
  if (meter_) meter_->AccessRefused(localPort);
  return true;
}

// Within a minute each address is named once, and at most kNamedPerWindow
// addresses are; the others are counted for one line at the minute's end.
void ClientAccess::JournalRefusal(const QHostAddress& peer, const std::string& where) {
  const uint32_t now = clock_.TickCount();
  if (windowOpen_ && TicksSince(now, windowStart_) >= kRefusalWindowMs) FlushRefusals();
  if (!windowOpen_) {
    windowOpen_ = true;
    windowStart_ = now;
  }
  const std::string address = PeerAddressText(peer);
  const auto named = lastNamed_.find(address);
  if (named != lastNamed_.end() && TicksSince(now, named->second) < kRefusalWindowMs) return;
  if (namedInWindow_ >= kNamedPerWindow) {
    ++unnamedInWindow_;
    return;
  }
  ++namedInWindow_;
  lastNamed_[address] = now;
  journal_.InsertTop("Access refused: IP " + address + " on " + where);
}

void ClientAccess::FlushRefusals() {
  if (!windowOpen_) return;
  const uint32_t now = clock_.TickCount();
  if (TicksSince(now, windowStart_) < kRefusalWindowMs) return;
  if (unnamedInWindow_ > 0)
    journal_.InsertTop("Access refused: " + std::to_string(unnamedInWindow_) +
                       " more times from addresses not named this minute");
  windowOpen_ = false;
  namedInWindow_ = 0;
  unnamedInWindow_ = 0;
  std::erase_if(lastNamed_, [&](const auto& entry) {
    return TicksSince(now, entry.second) >= kRefusalWindowMs;
  });
}

}  // namespace quell
