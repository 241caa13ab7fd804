#pragma once
// The monitoring surface as the engine runs it: made only when
// "\Monitoring.ini" exists. It holds the metrics, the published snapshot
// and the HTTP server; the engine hands its meter to the receivers and the
// store, and publishes its state once a second.
#include <memory>
#include <string>
#include <vector>

#include "core/journal.h"
#include "core/shared_list.h"
#include "monitoring/http_server.h"
#include "monitoring/metrics.h"
#include "monitoring/monitoring_file.h"
#include "monitoring/status_snapshot.h"

namespace quell {

class Engine;

class EngineMonitoring {
 public:
  // Null without "\Monitoring.ini"; each problem of the file is journalled.
  // refusalPorts: the gateway's ports, whose refusal series exist at once.
  static std::unique_ptr<EngineMonitoring> Create(const std::string& workDir, Journal& journal,
                                                  const std::vector<int>& refusalPorts);
  EngineMonitoring(MonitoringFile file, const std::vector<int>& refusalPorts);
  ~EngineMonitoring();

  Meter* meter() { return metrics_.get(); }
  Metrics& metrics() { return *metrics_; }

  // Opens the listeners of the file; an address whose port the gateway
  // already uses, or one that cannot be bound, is journalled and skipped.
  // admitted: who may connect (nullopt: anyone). fromThreads takes the
  // journal lines of the server's own threads.
  void Listen(const std::vector<int>& portsInUse, const AddressBlocks& admitted, Journal& journal,
              SharedTextList& fromThreads);
  // Main thread, once a second: the engine's state to the server and the gauges.
  void Publish(Engine& engine);

  // The ports listened on, and those of the file that could not be.
  const std::vector<int>& ListeningPorts() const;
  const std::vector<std::string>& Listening() const { return listening_; }
  const std::vector<std::string>& NotListening() const { return notListening_; }

 private:
  MonitoringFile file_;
  std::unique_ptr<Metrics> metrics_;
  SnapshotBox snapshot_;
  std::unique_ptr<MonitoringServer> server_;
  std::vector<std::string> listening_;
  std::vector<std::string> notListening_;
};

// The engine's state as the monitoring server shows it.
StatusSnapshot TakeSnapshot(Engine& engine);

}  // namespace quell
