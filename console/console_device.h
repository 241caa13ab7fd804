#pragma once
// The console port as the output side sees it: whether it is open, whether
// the console has acknowledged recently, and a write that never fails loudly.
#include <string_view>

namespace quell {

class TLineGSM;

class ConsoleDevice {
 public:
  virtual ~ConsoleDevice() = default;
  virtual bool PortOpen() const = 0;
  virtual bool Alive() const = 0;
  // True when the port accepted every byte; callers may ignore it.
  virtual bool Write(std::string_view bytes) = 0;
};

// The console line's own port: PortOpen and Alive of the line, writes to its
// PortHandle (serialised with every other writer of that port).
class LineConsoleDevice final : public ConsoleDevice {
 public:
  explicit LineConsoleDevice(TLineGSM& line) : line_(line) {}
  bool PortOpen() const override;
  bool Alive() const override;
  bool Write(std::string_view bytes) override;

 private:
  TLineGSM& line_;
};

}  // namespace quell
