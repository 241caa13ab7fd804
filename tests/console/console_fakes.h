#pragma once
// Hand-driven stand-ins for the console port, the station client ports and
// the IP module receivers.
#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/console_device.h"
#include "console/console_output.h"
#include "core/client_feed.h"

namespace quell::test {

class FakeConsoleDevice final : public ConsoleDevice {
 public:
  bool PortOpen() const override { return portOpen; }
  bool Alive() const override { return alive; }
  void Write(std::string_view bytes) override {
    if (failWrites) throw std::runtime_error("port gone");
    writes.emplace_back(bytes);
  }

  bool portOpen = true;
  bool alive = true;
  bool failWrites = false;
  std::vector<std::string> writes;
};

class FakeClientFeed final : public ClientFeed {
 public:
  int WardexClientCount() const override { return 0; }
  void SendToFirstWardex(const std::string&) override {}
  int Console2ClientCount() const override { return console2Clients; }
  void SendToFirstConsole2(const std::string& text) override { console2Sent.push_back(text); }

  int console2Clients = 0;
  std::vector<std::string> console2Sent;
};

class FakeIpSupervision final : public IpSupervision {
 public:
  int ConnectionCount(IpListener listener) const override { return connections[size_t(listener)]; }
  void CloseConnections(IpListener listener) override {
    closes.push_back(listener);
    connections[size_t(listener)] = 0;
  }
  void LossCheck() override { ++lossChecks; }

  std::array<int, kIpListenerCount> connections{};
  std::vector<IpListener> closes;
  int lossChecks = 0;
};

}  // namespace quell::test
