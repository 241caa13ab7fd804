#pragma once
// Run-time settings read from the working directory at start-up and changed
// only by their dialogs. Main thread.
#include <string>
#include <vector>

namespace quell {

// "\param0": IP module supervision.
struct IpModuleSettings {
  int silenceLimitSeconds = 3 * 3600 + 20 * 60;  // "03:20:00"
  bool storeOffline = false;  // keep events queued while the console does not answer
  bool testSignal = false;    // keep-alives also queue an R602 event
  bool lossRestore = true;    // losses and restores produce 356 events
};

enum class OutputProtocol { ContactId = 0, Ademco685 = 1 };

// "\paramv" and the console port dialog.
struct ConsoleSettings {
  OutputProtocol protocol = OutputProtocol::ContactId;
  std::string receiverNumber = "00";  // Ademco685 receiver text, at most 2 characters
  std::string portKind;               // "VP", "RP", or empty when never configured
};

// Listening ports; tests set free ones.
struct PortSettings {
  int wardex = 8040;  // replaced by "\quellport"
  int console2 = 8041;
  int relay = 8042;
  int sia = 8005;
  // IP module listeners in the order the console output tick visits them.
  int ip8097 = 8097, ip8098 = 8098, ip8096 = 8096, ip8095 = 8095;
  bool wardexFromFile = true;  // let "\quellport" replace wardex

  // Every listener on a free port chosen by the system, "\quellport"
  // ignored: for tests and tools that run beside a gateway.
  static PortSettings AnyFree() {
    PortSettings p;
    p.wardex = p.console2 = p.relay = p.sia = p.ip8097 = p.ip8098 = p.ip8096 = p.ip8095 = 0;
    p.wardexFromFile = false;
    return p;
  }
};

// Lines of "\codes.txt", TAB-separated records searched in file order.
using CodeTable = std::vector<std::string>;

}  // namespace quell
