#include "lines/line_port.h"

#include <mutex>
#include <optional>

#include "core/clock.h"
#include "core/trace_view.h"
#include "lines/line.h"
#include "lines/port_names.h"
#include "lines/serial_port.h"

namespace quell {
namespace {

constexpr const char* kHandleOk = ":   SUCCESS_HANDLE_VALUE  ";
constexpr const char* kHandleFailed = ":   INVALID_HANDLE_VALUE  ";
constexpr const char* kDcbFailed = ":   DCB_SET_ERROR  ";
constexpr const char* kDcbOk = ":   DCB_SET_OK  ";
constexpr const char* kComOk = ":   COM_SET_OK  ";

}  // namespace

std::string LinePortPath(const TLineGSM& line) {
  return "\\\\.\\COM" + std::to_string(line.PortNumber);
}

bool OpenLinePort(TLineGSM& line, const PortNames& names, const Clock& clock, TraceView* trace,
                  std::string* failure) {
  {
    std::lock_guard g(line.TextLock);
    line.Messages = TMessageError();
  }
  const std::string path = LinePortPath(line);
  auto note = [&](int entry, const char* result) {
    std::string text = path + result + LongTime(clock.Now());
    std::lock_guard g(line.TextLock);
    line.Messages.Entry(entry) = std::move(text);
  };
  // A held handle is closed below whatever the outcome: a failed reopen must
  // not leave the line looking open with no port behind it.
  const bool hadPort = LinePort(line) != nullptr;
  CloseLinePort(line);
  auto fail = [&] {
    if (hadPort) line.PortOpen = false;
    return false;
  };

  std::string error = "no device";
  std::shared_ptr<PosixSerialPort> port;
  const std::optional<std::string> device = names.DevicePath(line.PortNumber);
  if (device) port = PosixSerialPort::Open(*device, &error);
  const std::string where = path + " " + device.value_or("-");
  if (!port) {
    note(1, kHandleFailed);
    if (trace) trace->Append(where + ": " + error);
    if (failure) *failure = error;
    return fail();
  }
  note(1, kHandleOk);
  if (!port->Apply(line.PortConfig, &error)) {
    note(2, kDcbFailed);
    port->Close();
    if (trace) trace->Append(where + ": " + error);
    if (failure) *failure = error;
    return fail();
  }
  note(2, kDcbOk);
  port->RaiseModemLines();
  note(3, kComOk);
  if (trace) trace->Append(where);
  {
    std::lock_guard g(line.PortLock);
    line.PortHandle = std::move(port);
  }
  line.PortOpen = true;
  return true;
}

void CloseLinePort(TLineGSM& line) {
  std::shared_ptr<SerialPort> port;
  {
    std::lock_guard g(line.PortLock);
    port = std::move(line.PortHandle);
    line.PortHandle.reset();
  }
  // Outside the lock: Close() waits for a reader to leave its poll.
  if (port) port->Close();
}

std::shared_ptr<SerialPort> LinePort(const TLineGSM& line) {
  std::lock_guard g(line.PortLock);
  return line.PortHandle;
}

int InputQueueCount(TLineGSM& line) {
  std::shared_ptr<SerialPort> port = LinePort(line);
  line.CommErrors = 0;
  return port ? port->InputQueueCount() : -1;
}

bool ReadLineByte(TLineGSM& line) {
  std::shared_ptr<SerialPort> port = LinePort(line);
  uint8_t byte = 0;
  const bool read = port && port->ReadByte(byte) == 1;
  if (read) line.RxByte = byte;
  line.IoCount = read ? 1 : 0;
  return read;
}

int WriteLine(TLineGSM& line, std::string_view bytes) {
  std::shared_ptr<SerialPort> port = LinePort(line);
  return port ? port->Write(bytes) : 0;
}

}  // namespace quell
