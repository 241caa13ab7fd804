#pragma once
// The modem role's command line: "quell-sim modem PORT [options]".
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "sim/modem/modem_options.h"
#include "sim/modem/modem_script.h"

namespace quell::sim {

struct ModemArgs {
  bool help = false;
  std::string port;  // a device path, or "pty"
  ModemOptions options;
  // Actions from --ring, --signal, --service and --sms, timed from the
  // gateway's first command (the script's steps join them there).
  std::vector<ModemStep> steps;
  std::string script;  // --script FILE, read by the caller
  std::string link;    // --link PATH
  int com = 0;         // --com N: also print "COM<N>=<device>"
  bool quiet = false;
};

// args excludes the program and role words. nullopt with the reason.
std::optional<ModemArgs> ParseModemArgs(const QStringList& args, std::string* error);

// The role's help: every option with an example.
const char* ModemHelp();

}  // namespace quell::sim
