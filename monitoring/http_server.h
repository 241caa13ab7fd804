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
#include <QHostAddress>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "monitoring/metrics.h"
#include "monitoring/monitoring_file.h"
#include "monitoring/status_snapshot.h"

class CivetServer;

namespace quell {

struct HttpLimits {
  int threads = 4;                  // per listening address
  int requestTimeoutMs = 5000;      // for a request to arrive whole
  int idleTimeoutMs = 5000;         // a kept-alive connection waiting for its next request
  int maxRequestBytes = 16 * 1024;  // request line and headers
};

// civetweb's access list for the address blocks of "[Monitoring]": every
// other peer is closed unanswered, and counted in the refusals of the port. Empty (anyone) for
// nullopt. IPv6 blocks are left out: Debian's civetweb is built without IPv6.
std::string CivetAccessList(const std::optional<std::vector<std::pair<QHostAddress, int>>>& blocks);

class MonitoringServer {
 public:
  MonitoringServer(Metrics& metrics, const SnapshotBox& snapshot);
  ~MonitoringServer();
  MonitoringServer(const MonitoringServer&) = delete;
  MonitoringServer& operator=(const MonitoringServer&) = delete;

  // Listens on the endpoint; false, with the reason, when it cannot.
  bool Listen(const MonitoringEndpoint& endpoint, const HttpLimits& limits,
              const std::string& accessList, std::string* error);
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
  std::vector<int> ports_;
};

}  // namespace quell
