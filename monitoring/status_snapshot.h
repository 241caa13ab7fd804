#pragma once
// What the engine shows of itself to the monitoring server, copied once a
// second on the main thread; the server's threads only read a published
// copy. Texts are UTF-8, except where a field says Windows-1251.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/meter.h"

namespace quell {

enum class LineState { Up, Down, Stopped };

struct LineStatus {
  std::string name;  // UTF-8
  std::string type;  // UTF-8
  LineState state = LineState::Stopped;
  int signal = 99;  // the modem's last +CSQ level, 0..31; 99: not known
};

// A field listener or a client port.
struct ListenerStatus {
  std::string what;  // "modules", "DC-09", "client", ...
  int port = 0;
  bool udp = false;
  bool listening = false;
  bool field = false;  // a field listener: /health/ready waits for it
};

struct StatusSnapshot {
  SteadyTime published{};
  int64_t nowMs = 0;  // the engine clock's UTC milliseconds since the epoch
  std::vector<LineStatus> lines;
  // The console: its port ("open", "off", "not configured"), the
  // console-alive state and the output queue.
  std::string consolePort;
  bool consoleOpen = false;
  bool consoleUp = false;
  size_t consoleQueue = 0;
  uint64_t linkTestsSent = 0;
  uint64_t linkTestsFailed = 0;
  bool storeWritable = false;
  std::string storeError;
  int modulesOnline = 0;
  uint64_t modulesLost = 0;
  std::vector<ListenerStatus> listeners;
  // Connected station clients per client port.
  std::vector<std::pair<int, int>> clientConnections;
};

// The latest published snapshot; any thread.
class SnapshotBox {
 public:
  void Publish(std::shared_ptr<const StatusSnapshot> snapshot) {
    std::lock_guard g(lock_);
    latest_ = std::move(snapshot);
  }
  // Null before the first publication.
  std::shared_ptr<const StatusSnapshot> Latest() const {
    std::lock_guard g(lock_);
    return latest_;
  }

 private:
  mutable std::mutex lock_;
  std::shared_ptr<const StatusSnapshot> latest_;
};

}  // namespace quell
