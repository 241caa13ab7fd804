#pragma once
// The console port dialog as an operator fills it for a port at 9600 baud,
// 8 data bits, one stop bit, no parity.
#include <string>

#include "console/console_port.h"

namespace quell::test {

inline ConsoleDialogInput ConsoleDialog(const std::string& port, bool switchOn) {
  ConsoleDialogInput in;
  in.port = port;
  in.baudRate = "9600";
  in.dataBits = "8";
  in.switchOn = switchOn;
  return in;
}

}  // namespace quell::test
