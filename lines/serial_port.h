#pragma once
// A serial device opened for a line. SerialPort is what the line code uses
// (so tests can stand in their own port); PosixSerialPort drives a tty
// through termios.
//
// Thread rules: one thread reads (the line's worker), any thread may write
// (writes to one port are serialised), and any thread may close the port or
// interrupt a wait while another thread is blocked in a read or a wait on it.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>

struct termios;

namespace quell {

struct TPortConfig;

// Outcome of waiting for input.
enum class PortWait {
  Data,         // bytes are waiting
  Timeout,      // nothing arrived within the bound
  Interrupted,  // Interrupt() or Close() cut the wait short
  Failed,       // the port is closed, hung up or in error
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Writes all bytes; returns the count written.
  virtual int Write(std::string_view bytes) = 0;
  // Reads one byte: 1 with the byte, 0 when nothing arrived within the read
  // timeout (600 ms) or the wait was interrupted, -1 when the port failed.
  virtual int ReadByte(uint8_t& byte) = 0;
  // Bytes waiting in the input queue, -1 when the query fails.
  virtual int InputQueueCount() = 0;
  // Waits at most timeoutMs for input.
  virtual PortWait WaitForEvent(int timeoutMs) = 0;

  // Makes every read and wait return at once until ClearInterrupt().
  virtual void Interrupt() = 0;
  virtual void ClearInterrupt() = 0;

  // Closes the device; blocked reads and waits return promptly, later
  // operations fail. Safe to call more than once and from any thread.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // The device went away since it was opened (a hang-up, an I/O error, end
  // of file): only opening it again can bring the line back.
  virtual bool HungUp() const { return false; }
};

class PosixSerialPort final : public SerialPort {
 public:
  static constexpr int kReadTimeoutMs = 600;
  static constexpr int kWriteTimeoutMs = 2000;  // total wait for a full output queue

  // Opens devicePath read-write, without becoming its controlling terminal,
  // close-on-exec and exclusively (TIOCEXCL and an advisory lock, so a
  // second open of the same device fails even for root). Returns nullptr
  // with the reason in *error on failure.
  static std::shared_ptr<PosixSerialPort> Open(const std::string& devicePath,
                                               std::string* error = nullptr);
  ~PosixSerialPort() override;

  // Raw mode with the line's baud rate, data bits, stop bits and parity, no
  // flow control, input parity checking when fParity is set. Fails on a
  // rate without a termios constant, data bits outside 5..8, a stop-bits
  // code above 2 or a parity code above 4. Stop-bits code 1 (one and a half)
  // has no termios form and is applied as two stop bits.
  bool Apply(const TPortConfig& config, std::string* error = nullptr);
  // Raises RTS and DTR; ignored where the device has no modem lines (a pty).
  void RaiseModemLines();

  int Write(std::string_view bytes) override;
  int ReadByte(uint8_t& byte) override;
  int InputQueueCount() override;
  PortWait WaitForEvent(int timeoutMs) override;
  void Interrupt() override;
  void ClearInterrupt() override;
  void Close() override;
  bool IsOpen() const override;
  bool HungUp() const override { return hungUp_.load(); }

  const std::string& DevicePath() const { return path_; }

 private:
  PosixSerialPort(int fd, int wakeFd, std::string path);
  // Polls the device for `events` and the wake-up fd; see PortWait.
  PortWait PollDevice(short events, int timeoutMs);

  const std::string path_;
  // fd_ and wakeFd_ change only under the exclusive lock of io_; every
  // operation holds it shared, so Close() waits for them to leave.
  mutable std::shared_mutex io_;
  int fd_ = -1;
  int wakeFd_ = -1;  // eventfd; readable while interrupted or closing
  std::atomic<bool> closing_{false};
  std::atomic<bool> hungUp_{false};
  std::mutex writeLock_;  // whole-buffer writes never interleave
};

// Speed constant for a baud rate, or 0 when termios has none.
unsigned BaudConstant(uint32_t baudRate);

// Fills t for config (see PosixSerialPort::Apply); false with the reason
// when config has no termios form.
bool SetTermios(const TPortConfig& config, termios& t, std::string* error = nullptr);

}  // namespace quell
