#include "console/console_device.h"

#include "lines/line.h"
#include "lines/serial_port.h"

namespace quell {

bool LineConsoleDevice::PortOpen() const {
  return line_.PortOpen.load();
}
bool LineConsoleDevice::Alive() const {
  return line_.Alive.load();
}

bool LineConsoleDevice::Write(std::string_view bytes) {
  std::shared_ptr<SerialPort> port;
  {
    std::lock_guard g(line_.PortLock);
    port = line_.PortHandle;
  }
  return port && port->Write(bytes) == int(bytes.size());
}

}  // namespace quell
