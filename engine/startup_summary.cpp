#include "engine/startup_summary.h"

#include "console/console_output.h"
#include "console/console_port.h"
#include "core/cp1251.h"
#include "engine/engine.h"
#include "engine/engine_monitoring.h"
#include "ip/client_ports.h"
#include "ip/dc09_receiver.h"
#include "ip/ip_receivers.h"
#include "ip/relay_listener.h"

namespace quell {
namespace {

std::string ComName(int portNumber) {
  return "COM" + std::to_string(portNumber);
}

std::string Device(Engine& engine, int portNumber) {
  const auto path = engine.portNames().DevicePath(portNumber);
  return ComName(portNumber) + " (" + (path ? *path : std::string("no device")) + ")";
}

struct Listener {
  const char* what;
  int wanted;
  bool listening;
  int port;
  bool udp = false;
};

// "8040 client, 8095 8096 modules, 8005/udp DC-09": neighbours of one kind share their name.
void AddPort(std::string& list, const char*& lastWhat, const Listener& l, int port) {
  const std::string number = std::to_string(port) + (l.udp ? "/udp" : "");
  if (lastWhat == l.what) {
    list.insert(list.size() - std::string(l.what).size() - 1, " " + number);
    return;
  }
  list += (list.empty() ? "" : ", ") + number + " " + l.what;
  lastWhat = l.what;
}

std::string PortsLine(Engine& engine) {
  IpReceivers& ip = engine.ipReceivers();
  ClientPorts& clients = engine.clientPorts();
  const PortSettings& want = engine.ports();
  static const char* modules = "modules";
  const Listener all[] = {
      {"client", want.wardex, clients.WardexListening(), clients.WardexPort()},
      {"second console", want.console2, clients.Console2Listening(), clients.Console2Port()},
      {"relay", want.relay, engine.relayListener().Listening(), engine.relayListener().Port()},
      {modules, want.ip8095, ip.Listening(IpListener::P8095), ip.Port(IpListener::P8095)},
      {modules, want.ip8096, ip.Listening(IpListener::P8096), ip.Port(IpListener::P8096)},
      {modules, want.ip8097, ip.Listening(IpListener::P8097), ip.Port(IpListener::P8097)},
      {modules, want.ip8098, ip.Listening(IpListener::P8098), ip.Port(IpListener::P8098)},
      {"DC-09", want.sia, engine.dc09Receiver().Listening(), engine.dc09Receiver().Port(), true},
  };
  std::string listening, failed;
  const char* lastListening = nullptr;
  const char* lastFailed = nullptr;
  for (const Listener& l : all) {
    if (l.listening)
      AddPort(listening, lastListening, l, l.port);
    else
      AddPort(failed, lastFailed, l, l.wanted);
  }
  std::string out =
      "  listening: " + (listening.empty() ? std::string("nothing") : listening) + "\n";
  if (!failed.empty()) out += "  NOT listening (port in use? see the trace): " + failed + "\n";
  return out;
}

std::string LinesText(Engine& engine) {
  LineList& lines = engine.lines();
  if (lines.Size() == 0) return "  lines: none configured (ConnectionType.ini)\n";
  std::string out;
  for (size_t i = 0; i < lines.Size(); ++i) {
    const TLineGSM* line = lines.At(i).Line.get();
    if (!line) continue;
    out += "  line \"" + Cp1251ToUtf8(line->LineName) + "\" (" + Cp1251ToUtf8(line->LineType) +
           ") on " + Device(engine, line->PortNumber) + ": ";
    if (line->PortOpen)
      out += "open\n";
    else if (line->Started)
      out += "could not open, tried again every 5 s\n";
    else
      out += "stopped\n";
  }
  return out;
}

std::string ConsoleText(Engine& engine) {
  const TLineGSM& console = engine.consoleLine();
  const ConsoleSettings& settings = engine.consoleSettings();
  if (settings.portKind.empty()) return "  console port: not configured (paramv)\n";
  const bool virtualPort = settings.portKind == "VP";
  std::string out = "  console port: " + Device(engine, console.PortNumber);
  if (virtualPort) out += ", virtual (the console opens vcom/" + ComName(console.PortNumber) + ")";
  ConsolePort& port = engine.consolePort();
  if (console.PortOpen)
    out += ": on";
  else if (port.Retrying())
    out += ": could not open (" + port.OpenFailure() + "), tried again every 5 s";
  else
    out += ": off by paramv (OFFLINE)";
  out += engine.ipSettings().storeOffline ? "; store offline on (param0)\n"
                                          : "; store offline off (param0)\n";
  return out;
}

// The monitoring server's addresses, or the hint that switches it on.
std::string MonitoringText(Engine& engine) {
  const EngineMonitoring* m = engine.monitoring();
  if (!m)
    return "  monitoring: off; copy examples/monitoring/Monitoring.ini into the working directory"
           " for Prometheus metrics, health answers and a status page\n";
  std::string out;
  for (const std::string& at : m->Listening())
    out += "  monitoring: http://" + at + "/ (/metrics, /health/live, /health/ready)\n";
  for (const std::string& at : m->NotListening())
    out += "  monitoring: NOT listening on " + at + " (see the journal)\n";
  if (out.empty()) out = "  monitoring: NOT listening (no usable Listen= in Monitoring.ini)\n";
  return out;
}

}  // namespace

std::string StartupSummary(Engine& engine) {
  std::string out = "Quell Server started\n";
  out += "  working directory: " + engine.workDir() + "\n";
  out += PortsLine(engine);
  out += LinesText(engine);
  out += ConsoleText(engine);
  out += MonitoringText(engine);
  out +=
      "  next: quell-sim plays modems, panels, IP modules and the console without hardware;"
      " see README, \"Trying a station without hardware\"\n";
  return out;
}

}  // namespace quell
