#pragma once
// A virtual serial pair for console software on the same machine: two
// pseudo-terminals whose master sides are joined by a relay thread. The
// gateway opens one end as its console port COM<n>; the other end is
// published as the link vcom/COM<n> in the working directory for the
// console software to open.
#include <atomic>
#include <string>
#include <thread>

#include "core/trace_view.h"

namespace quell {

class VirtualPort {
 public:
  explicit VirtualPort(std::string workDir) : workDir_(std::move(workDir)) {}
  ~VirtualPort();
  VirtualPort(const VirtualPort&) = delete;
  VirtualPort& operator=(const VirtualPort&) = delete;

  // The life cycle the console port drives, step by step; each returns
  // whether it succeeded.
  bool Initialize();
  bool DestroyAllDevices();
  bool StopEmulation();
  // portText is "<port number>;0". Returns the device id (the port number), or -1.
  int CreateDevice(const std::string& type, const std::string& portText);
  bool StartEmulation();
  void Release();

  int PortNumber() const { return number_; }
  // The gateway's end (a /dev/pts path) and the published link.
  const std::string& GatewayEnd() const { return gatewayPath_; }
  std::string LinkPath() const;

 private:
  void Relay();
  void CloseAll();

  std::string workDir_;
  int number_ = -1;
  int masters_[2] = {-1, -1};
  int slaves_[2] = {-1, -1};  // held open raw so nothing echoes before peers open
  int wake_[2] = {-1, -1};
  std::string gatewayPath_;
  std::string consolePath_;
  std::thread relay_;
  std::atomic<bool> running_{false};
};

}  // namespace quell
