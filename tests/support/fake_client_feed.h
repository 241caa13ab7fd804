#pragma once
// Station client ports without sockets: counts set by the test, sends recorded.
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "core/client_feed.h"

namespace quell::test {

class RecordingClientFeed final : public ClientFeed {
 public:
  int WardexClientCount() const override { return wardexClients; }
  void SendToFirstWardex(const std::string& text) override {
    std::lock_guard g(lock);
    wardex.push_back(text);
  }
  int Console2ClientCount() const override { return console2Clients; }
  void SendToFirstConsole2(const std::string& text) override {
    std::lock_guard g(lock);
    console2.push_back(text);
  }

  std::atomic<int> wardexClients{0};
  std::atomic<int> console2Clients{0};
  std::mutex lock;
  std::vector<std::string> wardex;
  std::vector<std::string> console2;
};

}  // namespace quell::test
