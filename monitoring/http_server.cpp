#include "monitoring/http_server.h"

#include <CivetServer.h>

#include <atomic>
#include <cstring>

#include "monitoring/health.h"
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

std::string CivetAccessList(
    const std::optional<std::vector<std::pair<QHostAddress, int>>>& blocks) {
  if (!blocks) return {};
  // Deny all first, then allow each block; the last match decides. Debian's
  // civetweb has no IPv6 (neither listening nor in its lists), so only the
  // IPv4 blocks can ever match.
  std::string list = "-0.0.0.0/0";
  for (const auto& [address, bits] : *blocks)
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
      list += ",+" + address.toString().toStdString() + "/" + std::to_string(bits);
  return list;
}

MonitoringServer::MonitoringServer(Metrics& metrics, const SnapshotBox& snapshot)
    : metrics_(metrics),
      snapshot_(snapshot),
      handler_(std::make_unique<Handler>(metrics, snapshot)) {}

MonitoringServer::~MonitoringServer() {
  // Each server joins its threads before the handler goes.
  for (auto& server : servers_) server->close();
  servers_.clear();
}

bool MonitoringServer::Listen(const MonitoringEndpoint& endpoint, const HttpLimits& limits,
                              const std::string& accessList, std::string* error) {
  std::vector<std::string> options = {
      "listening_ports",       endpoint.Text(),
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
  constexpr unsigned kIpv6Feature = 8;
  if (endpoint.host.find(':') != std::string::npos && !mg_check_feature(kIpv6Feature)) {
    if (error) *error = "the system's civetweb library was built without IPv6";
    return false;
  }
  auto refusals = std::make_unique<Refusals>();
  if (endpoint.port > 0) refusals->counter = metrics_.AccessRefusalCounter(endpoint.port);
  CivetCallbacks callbacks;
  callbacks.log_message = &LogMessage;
  try {
    auto server = std::make_unique<CivetServer>(options, &callbacks, refusals.get());
    server->addHandler("/", handler_.get());
    std::vector<int> ports = server->getListeningPorts();
    const int port = ports.empty() ? endpoint.port : ports.front();
    if (port != endpoint.port) refusals->counter = metrics_.AccessRefusalCounter(port);
    ports_.push_back(port);
    refusals_.push_back(std::move(refusals));
    servers_.push_back(std::move(server));
    return true;
  } catch (const CivetException& e) {
    if (error) *error = e.what();
    return false;
  }
}

}  // namespace quell
