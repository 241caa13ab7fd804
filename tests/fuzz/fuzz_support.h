#pragma once
// What the fuzz targets share: an invariant check that stops the run with
// its reason, a serial port fed from the fuzz input that records what the
// gateway writes, and the Qt application object that sockets expect.
#include <QCoreApplication>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "lines/serial_port.h"

#define FUZZ_CHECK(cond)                                                                 \
  do {                                                                                   \
    if (!(cond)) {                                                                       \
      std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

namespace quell::fuzz {

inline std::string_view Input(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// One application object for the whole run (Qt sockets want one).
inline void EnsureApplication() {
  static int argc = 1;
  static char name[] = "fuzz";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  (void)app;
}

// Gives out the bytes it was made with, one at a time and never waiting;
// keeps every write.
class ScriptedPort final : public SerialPort {
 public:
  explicit ScriptedPort(std::string_view input = {}) : input_(input) {}
  void Feed(std::string_view more) { input_.append(more); }

  int Write(std::string_view bytes) override {
    writes.emplace_back(bytes);
    return int(bytes.size());
  }
  int ReadByte(uint8_t& byte) override {
    if (at_ >= input_.size()) return 0;
    byte = uint8_t(input_[at_++]);
    return 1;
  }
  int InputQueueCount() override { return int(input_.size() - at_); }
  PortWait WaitForEvent(int) override {
    return at_ < input_.size() ? PortWait::Data : PortWait::Timeout;
  }
  void Interrupt() override {}
  void ClearInterrupt() override {}
  void Close() override {}
  bool IsOpen() const override { return true; }

  std::vector<std::string> writes;

 private:
  std::string input_;
  size_t at_ = 0;
};

}  // namespace quell::fuzz
