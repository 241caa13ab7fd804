#pragma once
// Hand-driven stand-ins for the console port, the station client ports and
// the IP module receivers.
#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/console_device.h"
#include "console/console_output.h"
#include "core/alarm_sound.h"
#include "core/client_feed.h"
#include "tests/support/wire_check.h"

namespace quell::test {

// Records every write, one entry per call and all bytes together; each
// write must be a form of the console's protocol.
class FakeConsoleDevice final : public ConsoleDevice {
 public:
  bool PortOpen() const override { return portOpen; }
  bool Alive() const override { return alive; }
  bool Write(std::string_view bytes) override {
    if (failWrites) throw std::runtime_error("port gone");
    CheckWire(form, bytes);
    if (shortWrites) bytes = bytes.substr(0, bytes.size() / 2);
    writes.emplace_back(bytes);
    written.append(bytes);
    return !shortWrites;
  }

  bool portOpen = false;
  bool alive = false;
  bool failWrites = false;
  WireTarget form = WireTarget::ConsoleMlr2;
  bool shortWrites = false;  // accepts half of each write
  std::vector<std::string> writes;
  std::string written;
};

// Client counts set by the test; sends recorded and checked against the
// wire forms. Counts may be read from worker threads.
class FakeClientFeed final : public ClientFeed {
 public:
  int WardexClientCount() const override { return wardexClients; }
  bool SendToFirstWardex(NoticeOrigin origin, const std::string& text) override {
    CheckWire(WireTarget::WardexClient, text, origin);
    std::lock_guard g(lock);
    wardex.push_back(text);
    origins.push_back(origin);
    return wardexTakes;
  }
  int Console2ClientCount() const override { return console2Clients; }
  void SendToFirstConsole2(const std::string& text) override {
    CheckWire(WireTarget::Console2, text);
    std::lock_guard g(lock);
    console2.push_back(text);
  }
  // Reports at once unless holdSends: then the test reports by hand.
  void SendToFirstConsole2Tracked(const std::string& text,
                                  std::function<void(bool)> sent) override {
    SendToFirstConsole2(text);
    if (holdSends)
      heldSends.push_back(std::move(sent));
    else
      sent(console2Clients > 0);
  }
  bool holdSends = false;
  std::vector<std::function<void(bool)>> heldSends;

  std::atomic<int> wardexClients{0};
  std::atomic<int> console2Clients{0};
  std::mutex lock;
  std::vector<std::string> wardex;
  std::vector<NoticeOrigin> origins;  // of each text in wardex
  bool wardexTakes = true;            // false: as if every client had been let go
  std::vector<std::string> console2;
};

// Counts the alarm sounds; may be played from worker threads.
class CountingSound final : public AlarmSound {
 public:
  void Play() override { ++plays; }
  std::atomic<int> plays{0};
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
