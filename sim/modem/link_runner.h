#pragma once
// The program side shared by the roles that play a modem on a serial line:
// open the port, announce it, log the exchange and run until a signal.
#include <functional>
#include <string>

#include "sim/modem/modem_link.h"

namespace quell::sim {

struct LinkSetup {
  std::string role;  // for messages: "quell-sim <role>: ..."
  std::string port;  // a device path or "pty"
  std::string link;  // --link PATH, or empty
  int com = 0;       // --com N, or 0
  bool quiet = false;
};

// Local time of day "hh:mm:ss.zzz", for log lines.
std::string TimeStamp();
// Writes "<time> <line>" to stderr.
void LogLine(const std::string& line);

// Opens link as setup says, prints the device ("COM port device: ...", and
// "COM<N>=..." with --com), logs the exchange to stderr unless quiet, calls
// lineUp once the gateway's first command came, and runs the event loop.
// Needs a QCoreApplication. Returns the exit status.
int RunModemLink(ModemLink& link, const LinkSetup& setup, std::function<void()> lineUp);

}  // namespace quell::sim
