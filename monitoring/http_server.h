#pragma once
// The monitoring HTTP server: civetweb on threads of its own, GET only,
// with a request size cap and request and idle timeouts, so that a slow or
// hostile client holds only one of its few threads and never the engine.
//   GET /metrics        Prometheus text format 0.0.4
//   GET /health/live    200 while the engine's loop turns, else 503 (JSON)
//   GET /health/ready   200 while the field listeners listen and the store writes
//   GET /               the status page
// Any other method gets 405, an upgrade request 404. The handlers read only
// the metrics registry, the event ring and the published snapshot.
// An IPv6 address is served through an Ipv6Relay to a civetweb listening on
// 127.0.0.1 (Debian's civetweb has no IPv6); the relay applies the IPv6
// blocks of the access list and civetweb every limit.
#include <QHostAddress>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "monitoring/ipv6_block.h"
#include "monitoring/metrics.h"
#include "monitoring/monitoring_file.h"
#include "monitoring/status_snapshot.h"

class CivetServer;

namespace quell {

class Ipv6Relay;

struct HttpLimits {
  int threads = 4;                   // per listening address
  int requestTimeoutMs = 5000;       // for a request to arrive whole
  int idleTimeoutMs = 5000;          // a kept-alive connection waiting for its next request
  int maxRequestBytes = 16 * 1024;   // request line and headers
  int maxRelayedConnections = 2048;  // at once, per IPv6 address
};

// The address blocks of "[Monitoring]"; nullopt: any address.
using AddressBlocks = std::optional<std::vector<std::pair<QHostAddress, int>>>;

// civetweb's access list for the IPv4 blocks: every other peer is closed
// unanswered, and counted in the refusals of the port. Empty (anyone) for
// nullopt. IPv6 blocks are left out (Debian's civetweb has no IPv6): the
// relay of an IPv6 address applies them, see RelayBlocks.
std::string CivetAccessList(const AddressBlocks& blocks);
// The IPv6 blocks alone, as the relay matches them; nullopt for nullopt.
Ipv6Blocks RelayBlocks(const AddressBlocks& blocks);

class MonitoringServer {
 public:
  // note: a line for the journal, called on another thread (the relay's).
  MonitoringServer(Metrics& metrics, const SnapshotBox& snapshot,
                   std::function<void(std::string)> note = {});
  ~MonitoringServer();
  MonitoringServer(const MonitoringServer&) = delete;
  MonitoringServer& operator=(const MonitoringServer&) = delete;

  // Listens on the endpoint (port 0: a free one), admitting the blocks;
  // false, with the reason, when it cannot.
  bool Listen(const MonitoringEndpoint& endpoint, const HttpLimits& limits,
              const AddressBlocks& admitted, std::string* error);
  // The ports listened on, in the order they were opened.
  const std::vector<int>& Ports() const { return ports_; }

  class Handler;
  // What civetweb's threads count for one listening address.
  struct Refusals;

 private:
  Metrics& metrics_;
  const SnapshotBox& snapshot_;
  std::unique_ptr<Handler> handler_;
  std::vector<std::unique_ptr<Refusals>> refusals_;  // outlive the servers using them
  std::vector<std::unique_ptr<CivetServer>> servers_;
  std::vector<std::unique_ptr<Ipv6Relay>> relays_;  // go before the servers they feed
  std::function<void(std::string)> note_;
  std::vector<int> ports_;

  // civetweb on listening ("127.0.0.1:9464"); its port (fallbackPort when
  // it tells none), or 0 with the error.
  int StartCivet(const std::string& listening, int fallbackPort, const HttpLimits& limits,
                 const std::string& accessList, std::unique_ptr<Refusals> refusals,
                 std::string* error);
};

}  // namespace quell
