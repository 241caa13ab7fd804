#pragma once
// The far end of a pseudo-terminal: stands in for a device or the console
// software. Reads wait with a bound, never a fixed sleep.
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "lines/pty_pair.h"

namespace quell::test {

class PtyDevice {
 public:
  bool Open() { return pty_.Open(); }
  const std::string& Path() const { return pty_.SlavePath(); }
  void Send(const std::string& bytes) {
    [[maybe_unused]] ssize_t n = ::write(pty_.MasterFd(), bytes.data(), bytes.size());
  }
  // Collects bytes until count have arrived or timeoutMs passed.
  std::string Receive(size_t count, int timeoutMs = 3000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (received_.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{pty_.MasterFd(), POLLIN, 0};
      if (::poll(&p, 1, int(left.count())) <= 0) break;
      char buffer[256];
      ssize_t n = ::read(pty_.MasterFd(), buffer, sizeof buffer);
      if (n > 0) received_.append(buffer, size_t(n));
    }
    return received_;
  }
  void Forget() { received_.clear(); }

 private:
  PtyPair pty_;
  std::string received_;
};

}  // namespace quell::test
