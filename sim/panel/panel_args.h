#pragma once
// The panel role's command line: "quell-sim panel PORT [options]".
#include <QStringList>
#include <optional>
#include <string>

#include "sim/modem/modem_options.h"
#include "sim/panel/panel_options.h"

namespace quell::sim {

struct PanelArgs {
  bool help = false;
  std::string port;  // a device path, or "pty"
  ModemOptions modem;
  PanelOptions panel;
  std::optional<std::string> callIn;  // --call-in NUMBER
  uint32_t callInDelayMs = 1000;      // after the gateway's line is up
  std::string link;                   // --link PATH
  int com = 0;                        // --com N
  bool quiet = false;
};

// args excludes the program and role words. nullopt with the reason.
std::optional<PanelArgs> ParsePanelArgs(QStringList args, std::string* error);

const char* PanelHelp();

}  // namespace quell::sim
