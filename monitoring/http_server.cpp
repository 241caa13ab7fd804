#include "monitoring/http_server.h"

#include <CivetServer.h>

#include <atomic>
#include <cstring>

#include "monitoring/health.h"
#include "monitoring/ipv6_relay.h"
#include "monitoring/status_page.h"

namespace quell {
namespace {

constexpr const char* kMetricsType = "text/plain; version=0.0.4; charset=utf-8";

void Send(mg_connection* conn, int status, const char* type, const std::string& body,
          const char* policy = nullptr) {
  mg_response_header_start(conn, status);
  mg_response_header_add(conn, "Content-Type", type, -1);
  mg_response_header_add(conn, "Content-Length", std::to_string(body.size()).c_str(), -1);
  mg_response_header_add(conn, "Cache-Control", "no-store", -1);
  mg_response_header_add(conn, "X-Content-Type-Options", "nosniff", -1);
  if (policy) mg_response_header_add(conn, "Content-Security-Policy", policy, -1);
  if (status == 405) mg_response_header_add(conn, "Allow", "GET", -1);
  mg_response_header_send(conn);
  mg_write(conn, body.data(), body.size());
}

// civetweb closes a peer its access list refuses before reading a byte and
// says so only in its log; that line is where the refusal is counted.
constexpr const char* kRefusedText = "is not allowed to connect";

int LogMessage(const mg_connection* conn, const char* message);

bool Refuse(mg_connection* conn) {
  Send(conn, 405, "text/plain; charset=utf-8", "Only GET is served here.\n");
  return true;
}

}  // namespace

struct MonitoringServer::Refusals {
  // Set by the main thread once the port is known; civetweb's threads count.
  std::atomic<prometheus::Counter*> counter{nullptr};
};

namespace {

int LogMessage(const mg_connection* conn, const char* message) {
  if (!message || !std::strstr(message, kRefusedText)) return 0;
  const mg_context* ctx = mg_get_context(conn);
  const auto* server = ctx ? static_cast<const CivetServer*>(mg_get_user_data(ctx)) : nullptr;
  const auto* refusals =
      server ? static_cast<const MonitoringServer::Refusals*>(server->getUserContext()) : nullptr;
  if (prometheus::Counter* counter = refusals ? refusals->counter.load() : nullptr)
    counter->Increment();
  return 1;
}

}  // namespace

class MonitoringServer::Handler final : public CivetHandler {
 public:
  Handler(Metrics& metrics, const SnapshotBox& snapshot) : metrics_(metrics), snapshot_(snapshot) {}

  bool handleGet(CivetServer*, mg_connection* conn) override {
    const mg_request_info* info = mg_get_request_info(conn);
    const std::string uri = info && info->local_uri ? info->local_uri : "";
    if (mg_get_header(conn, "Upgrade")) {
      Send(conn, 404, "text/plain; charset=utf-8", "No upgrade is served here.\n");
      return true;
    }
    if (uri == "/metrics") {
      Send(conn, 200, kMetricsType, metrics_.Scrape());
    } else if (uri == "/health/live" || uri == "/health/ready") {
      const auto snapshot = snapshot_.Latest();
      const auto now = std::chrono::steady_clock::now();
      const HealthAnswer a = uri == "/health/live" ? LiveAnswer(snapshot.get(), now)
                                                   : ReadyAnswer(snapshot.get(), now);
      Send(conn, a.status, "application/json", a.body);
    } else if (uri == "/") {
      const auto snapshot = snapshot_.Latest();
      Send(conn, 200, "text/html; charset=utf-8",
           StatusPage(snapshot.get(), metrics_.PendingNow(), metrics_.Ring().Newest()),
           kStatusPagePolicy);
    } else {
      Send(conn, 404, "text/plain; charset=utf-8", "Not found.\n");
    }
    return true;
  }
  bool handlePost(CivetServer*, mg_connection* conn) override { return Refuse(conn); }
  bool handleHead(CivetServer*, mg_connection* conn) override { return Refuse(conn); }
  bool handlePut(CivetServer*, mg_connection* conn) override { return Refuse(conn); }
  bool handleDelete(CivetServer*, mg_connection* conn) override { return Refuse(conn); }
  bool handleOptions(CivetServer*, mg_connection* conn) override { return Refuse(conn); }
  bool handlePatch(CivetServer*, mg_connection* conn) override { return Refuse(conn); }

 private:
  Metrics& metrics_;
  const SnapshotBox& snapshot_;
};

std::string CivetAccessList(const AddressBlocks& blocks) {
  if (!blocks) return {};
  // Deny all first, then allow each block; the last match decides. Debian's
  // civetweb has no IPv6 (neither listening nor in its lists), so only the
  // IPv4 blocks go here.
  std::string list = "-0.0.0.0/0";
  for (const auto& [address, bits] : *blocks)
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
      list += ",+" + address.toString().toStdString() + "/" + std::to_string(bits);
  return list;
}

Ipv6Blocks RelayBlocks(const AddressBlocks& blocks) {
  if (!blocks) return std::nullopt;
  std::vector<Ipv6Block> out;
  for (const auto& [address, bits] : *blocks) {
    if (address.protocol() != QAbstractSocket::IPv6Protocol) continue;
    Ipv6Block block;
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    std::memcpy(block.address.data(), bytes.c, block.address.size());
    block.bits = bits;
    out.push_back(block);
  }
  return out;
}

MonitoringServer::MonitoringServer(Metrics& metrics, const SnapshotBox& snapshot,
                                   std::function<void(std::string)> note)
    : metrics_(metrics),
      snapshot_(snapshot),
      handler_(std::make_unique<Handler>(metrics, snapshot)),
      note_(std::move(note)) {}

MonitoringServer::~MonitoringServer() {
  // The relays stop first, then each server joins its threads before the
  // handler goes.
  relays_.clear();
  for (auto& server : servers_) server->close();
  servers_.clear();
}

int MonitoringServer::StartCivet(const std::string& listening, int fallbackPort,
                                 const HttpLimits& limits, const std::string& accessList,
                                 std::unique_ptr<Refusals> refusals, std::string* error) {
  std::vector<std::string> options = {
      "listening_ports",       listening,
      "num_threads",           std::to_string(limits.threads),
      "request_timeout_ms",    std::to_string(limits.requestTimeoutMs),
      "enable_keep_alive",     "yes",
      "keep_alive_timeout_ms", std::to_string(limits.idleTimeoutMs),
      "max_request_size",      std::to_string(limits.maxRequestBytes),
      "linger_timeout_ms",     "0",
  };
  if (!accessList.empty()) {
    options.push_back("access_control_list");
    options.push_back(accessList);
  }
  CivetCallbacks callbacks;
  callbacks.log_message = &LogMessage;
  try {
    auto server = std::make_unique<CivetServer>(options, &callbacks, refusals.get());
    server->addHandler("/", handler_.get());
    const std::vector<int> ports = server->getListeningPorts();
    const int port = ports.empty() ? fallbackPort : ports.front();
    if (port <= 0) {
      if (error) *error = "civetweb did not tell its port";
      return 0;
    }
    refusals_.push_back(std::move(refusals));
    servers_.push_back(std::move(server));
    return port;
  } catch (const CivetException& e) {
    if (error) *error = e.what();
    return 0;
  }
}

bool MonitoringServer::Listen(const MonitoringEndpoint& endpoint, const HttpLimits& limits,
                              const AddressBlocks& admitted, std::string* error) {
  auto refusals = std::make_unique<Refusals>();
  if (endpoint.host.find(':') == std::string::npos) {
    if (endpoint.port > 0) refusals->counter = metrics_.AccessRefusalCounter(endpoint.port);
    Refusals* counted = refusals.get();
    const int port = StartCivet(endpoint.Text(), endpoint.port, limits, CivetAccessList(admitted),
                                std::move(refusals), error);
    if (port == 0) return false;
    if (port != endpoint.port) counted->counter = metrics_.AccessRefusalCounter(port);
    ports_.push_back(port);
    return true;
  }
  // IPv6: the relay takes the address and the IPv6 blocks; civetweb listens
  // on a free loopback port that admits only the relay's own address. Its
  // refusals, and the relay's, count for the public port.
  Refusals* counted = refusals.get();
  RelaySettings settings;
  settings.host = endpoint.host;
  settings.port = endpoint.port;
  settings.admitted = RelayBlocks(admitted);
  settings.maxConnections = limits.maxRelayedConnections;
  settings.drainTimeoutMs = limits.requestTimeoutMs;
  settings.refused = [counted] {
    if (prometheus::Counter* counter = counted->counter.load()) counter->Increment();
  };
  settings.note = note_;
  auto relay = std::make_unique<Ipv6Relay>(std::move(settings));
  if (!relay->Listen(error)) return false;
  counted->counter = metrics_.AccessRefusalCounter(relay->Port());
  const int inner =
      StartCivet("127.0.0.1:0", 0, limits, "-0.0.0.0/0,+127.0.0.1/32", std::move(refusals), error);
  if (inner == 0) return false;
  relay->Start(inner);
  ports_.push_back(relay->Port());
  relays_.push_back(std::move(relay));
  return true;
}

}  // namespace quell
