#pragma once
// Who may reach the gateway's ports, from "\ClientAccess.ini": the Wardex
// client port and the second console port ([Clients]), the relay port
// ([Relay], else [Clients]) and the IP module ports, TCP and UDP
// ([Modules]). A port group without a section serves everyone.
//
// A listener asks before it does anything else with a connection or a
// datagram; a refused one is closed (or dropped) unseen by the rest of the
// gateway, and only the rate-limited refusal line reaches the journal:
//   if (access && access->Refuses(AccessGroup::Modules, *socket, port)) { close; continue; }
// Main thread.
#include <QHostAddress>
#include <QTcpSocket>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/config/client_access_file.h"
#include "core/journal.h"
#include "core/meter.h"

namespace quell {

enum class AccessGroup { Clients, Relay, Modules, Monitoring };

class ClientAccess {
 public:
  static constexpr uint32_t kRefusalWindowMs = 60000;
  // Distinct refused addresses named in the journal per minute.
  static constexpr int kNamedPerWindow = 100;

  ClientAccess(const Clock& clock, Journal& journal);

  // Takes the lists of the file; each entry that is no address or block is
  // journalled with its line and skipped. A section without a valid entry
  // admits nobody.
  void Load(const ClientAccessFile& file);

  // The gateway's own loopback client is always let in, told by its socket.
  using OwnConnectionTest = std::function<bool(const QTcpSocket& accepted)>;
  void SetOwnConnectionTest(OwnConnectionTest test) { isOwn_ = std::move(test); }
  bool IsOwn(const QTcpSocket& accepted) const { return isOwn_ && isOwn_(accepted); }
  // Counts each refusal (null: not counted).
  void SetMeter(Meter* meter) { meter_ = meter; }

  // True when the group takes any address.
  bool Open(AccessGroup group) const { return !List(group); }
  // The list alone (no journal line): IPv4-mapped IPv6 peers match as IPv4.
  bool Admits(AccessGroup group, const QHostAddress& peer) const;
  // The group's address blocks; nullopt when it takes any address.
  using Network = std::pair<QHostAddress, int>;
  const std::optional<std::vector<Network>>& Networks(AccessGroup group) const {
    return List(group);
  }

  // True when the connection (or datagram) must be refused; journals the
  // refusal within the rate limits, naming the port that refused.
  bool Refuses(AccessGroup group, const QTcpSocket& accepted);
  bool RefusesDatagram(AccessGroup group, const QHostAddress& sender, int localPort);

  // Ends the minute's refusal count (a timer handler; once a second is
  // plenty): the addresses left unnamed get their one count line.
  void FlushRefusals();

 private:
  const std::optional<std::vector<Network>>& List(AccessGroup group) const;
  void JournalRefusal(const QHostAddress& peer, const std::string& where);

  const Clock& clock_;
  Journal& journal_;
  OwnConnectionTest isOwn_;
  Meter* meter_ = nullptr;
  std::optional<std::vector<Network>> clients_, relay_, modules_, monitoring_;
  bool relayFromClients_ = true;
  // The refusal log of the current minute.
  uint32_t windowStart_ = 0;
  bool windowOpen_ = false;
  std::map<std::string, uint32_t> lastNamed_;
  int namedInWindow_ = 0;
  int unnamedInWindow_ = 0;
};

// What every TCP listener does first with an accepted connection: true, with
// the socket aborted and freed, when access (if any) refuses it.
bool RefusedAtAccept(ClientAccess* access, AccessGroup group, QTcpSocket* socket);

// The address a rule is matched against: an IPv4-mapped IPv6 address
// ("::ffff:10.0.0.5") as its IPv4 address, anything else unchanged.
QHostAddress PlainAddress(const QHostAddress& address);

// An entry of the file as an address block; nullopt when it is none.
std::optional<std::pair<QHostAddress, int>> ParseAccessEntry(const std::string& text);

}  // namespace quell
