#pragma once
// An in-memory serial port with a SimModem on its far end, for tests that
// drive the gateway's line code directly. Nothing here waits: a read or a
// wait with no modem output returns at once, so tests never pay the real
// port's read timeout. Every call polls the modem's timers first.
//
// Thread-safe: one lock guards the port and its modem. Reach the modem
// from other threads through With(), which holds that lock.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "lines/serial_port.h"
#include "sim/modem/sim_modem.h"

namespace quell::sim {

class SimModemPort final : public SerialPort {
 public:
  SimModemPort(ModemOptions options, std::function<uint32_t()> nowMs);

  int Write(std::string_view bytes) override;     // feeds the modem; 0 once closed
  int ReadByte(uint8_t& byte) override;           // 1 with a byte, 0 when none, -1 closed
  int InputQueueCount() override;                 // output waiting, -1 closed
  PortWait WaitForEvent(int timeoutMs) override;  // Data or Timeout, without waiting
  void Interrupt() override;
  void ClearInterrupt() override;
  void Close() override;
  bool IsOpen() const override;

  // Runs f(modem) under the port's lock and returns what f returns.
  template <class F>
  auto With(F f) {
    std::lock_guard g(lock_);
    return f(modem_);
  }
  // The modem without the lock: only when no other thread uses the port.
  SimModem& Modem() { return modem_; }

 private:
  // Moves the modem's new output behind what is still unread; lock held.
  void PollLocked();

  mutable std::mutex lock_;
  SimModem modem_;
  std::string pending_;  // modem output not read yet
  size_t readAt_ = 0;
  bool open_ = true;
  bool interrupted_ = false;
};

}  // namespace quell::sim
