#include "engine/engine_monitoring.h"

#include <algorithm>

#include "console/console_output.h"
#include "core/cp1251.h"
#include "engine/engine.h"
#include "ip/client_ports.h"
#include "ip/dc09/standard_dc09.h"
#include "ip/dc09_receiver.h"
#include "ip/ip_receivers.h"
#include "ip/relay_listener.h"
#include "store/event_store.h"

#ifndef QUELL_VERSION
#define QUELL_VERSION "0.1"
#endif

namespace quell {

std::unique_ptr<EngineMonitoring> EngineMonitoring::Create(const std::string& workDir,
                                                           Journal& journal,
                                                           const std::vector<int>& refusalPorts) {
  MonitoringFile file = ReadMonitoringFile(workDir);
  if (!file.exists) return nullptr;
  for (const std::string& problem : file.problems) journal.Append(problem);
  return std::make_unique<EngineMonitoring>(std::move(file), refusalPorts);
}

EngineMonitoring::EngineMonitoring(MonitoringFile file, const std::vector<int>& refusalPorts)
    : file_(std::move(file)), metrics_(std::make_unique<Metrics>(QUELL_VERSION, refusalPorts)) {}

EngineMonitoring::~EngineMonitoring() {
  // The server's threads read the metrics and the snapshot: they end first.
  server_.reset();
}

void EngineMonitoring::Listen(const std::vector<int>& portsInUse, const AddressBlocks& admitted,
                              Journal& journal, SharedTextList& fromThreads) {
  server_ = std::make_unique<MonitoringServer>(
      *metrics_, snapshot_,
      [&fromThreads](std::string text) { fromThreads.PutHead(std::move(text)); });
  for (const MonitoringEndpoint& endpoint : file_.listen) {
    const std::string where = "Monitoring.ini line " + std::to_string(endpoint.lineNumber) + ": ";
    if (std::find(portsInUse.begin(), portsInUse.end(), endpoint.port) != portsInUse.end()) {
      journal.Append(where + "port " + std::to_string(endpoint.port) +
                     " is one of the gateway's own ports, skipped");
      notListening_.push_back(endpoint.Text());
      continue;
    }
    std::string error;
    if (!server_->Listen(endpoint, HttpLimits{}, admitted, &error)) {
      journal.Append("Monitoring: cannot listen on " + endpoint.Text() + ": " + error);
      notListening_.push_back(endpoint.Text());
      continue;
    }
    journal.Append("Monitoring: listening on " + endpoint.Text());
    listening_.push_back(endpoint.Text());
  }
  if (file_.listen.empty())
    journal.Append("Monitoring.ini: no usable Listen= line, nothing listens");
}

const std::vector<int>& EngineMonitoring::ListeningPorts() const {
  static const std::vector<int> none;
  return server_ ? server_->Ports() : none;
}

void EngineMonitoring::Publish(Engine& engine) {
  auto snapshot = std::make_shared<StatusSnapshot>(TakeSnapshot(engine));
  metrics_->Publish(*snapshot);
  snapshot_.Publish(std::move(snapshot));
}

StatusSnapshot TakeSnapshot(Engine& engine) {
  StatusSnapshot s;
  s.published = std::chrono::steady_clock::now();
  s.nowMs = engine.clock().Now().toMSecsSinceEpoch();

  LineList& lines = engine.lines();
  for (size_t i = 0; i < lines.Size(); ++i) {
    const TLineGSM* line = lines.At(i).Line.get();
    if (!line) continue;
    LineStatus status;
    status.name = Cp1251ToUtf8(line->LineName);
    status.type = Cp1251ToUtf8(line->LineType);
    if (!line->Started)
      status.state = LineState::Stopped;
    else
      status.state = line->PortOpen && line->Alive ? LineState::Up : LineState::Down;
    status.signal = line->SignalLevel.load();
    s.lines.push_back(std::move(status));
  }

  const ConsoleSettings& console = engine.consoleSettings();
  s.consoleOpen = engine.consoleLine().PortOpen;
  if (console.portKind.empty())
    s.consolePort = "not configured (paramv)";
  else
    s.consolePort = "COM" + std::to_string(engine.consoleLine().PortNumber) +
                    (s.consoleOpen ? ": open" : ": off (OFFLINE in paramv, or it could not open)");
  ConsoleOutput& output = engine.consoleOutput();
  s.consoleUp = output.LinkUp();
  s.consoleQueue = engine.consoleQueue().Size();
  s.linkTestsSent = output.LinkTestsSent();
  s.linkTestsFailed = output.LinkTestsFailed();

  EventBackend& store = engine.eventStore();
  s.storeWritable = store.Writable();
  if (!s.storeWritable) s.storeError = store.LastError();

  for (const IpModuleRow& row : engine.ipModules().Rows())
    if (row.picture != IpModuleRow::Picture::Lost && row.lastSeen.isValid()) ++s.modulesOnline;
  s.modulesLost = engine.ipModuleSupervision().LostCount();

  IpReceivers& ip = engine.ipReceivers();
  const PortSettings& want = engine.ports();
  const auto listener = [&](const char* what, int wanted, bool listening, int port, bool udp,
                            bool field) {
    s.listeners.push_back({what, listening ? port : wanted, udp, listening, field});
  };
  ClientPorts& clients = engine.clientPorts();
  listener("client", want.wardex, clients.WardexListening(), clients.WardexPort(), false, false);
  listener("second console", want.console2, clients.Console2Listening(), clients.Console2Port(),
           false, false);
  listener("relay", want.relay, engine.relayListener().Listening(), engine.relayListener().Port(),
           false, false);
  const std::pair<IpListener, int> modules[] = {{IpListener::P8095, want.ip8095},
                                                {IpListener::P8096, want.ip8096},
                                                {IpListener::P8097, want.ip8097},
                                                {IpListener::P8098, want.ip8098}};
  for (const auto& [id, wanted] : modules)
    listener("modules", wanted, ip.Listening(id), ip.Port(id), false, true);
  listener("DC-09", want.sia, engine.dc09Receiver().Listening(), engine.dc09Receiver().Port(), true,
           true);
  if (StandardDc09* dc09 = engine.standardDc09(); dc09 && dc09->tcp())
    listener("DC-09", 0, dc09->tcp()->Port() != 0, dc09->tcp()->Port(), false, true);
  if (clients.WardexListening())
    s.clientConnections.emplace_back(clients.WardexPort(), clients.WardexClientCount());
  if (clients.Console2Listening())
    s.clientConnections.emplace_back(clients.Console2Port(), clients.Console2ClientCount());
  return s;
}

}  // namespace quell
