#pragma once
// The console role's command line: "quell-sim console PORT [options]".
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "sim/console/sim_console.h"

namespace quell::sim {

struct ConsoleArgs {
  bool help = false;
  std::string port;  // a device path, or "pty"
  ConsoleOptions options;
  std::vector<std::string> expect;  // --expect TEXT, repeatable
  uint32_t durationMs = 0;          // 0: until a signal
  std::string link;                 // --link PATH
  int com = 0;                      // --com N: also print "COM<N>=<device>"
};

// args excludes the program and role words. nullopt with the reason.
std::optional<ConsoleArgs> ParseConsoleArgs(const QStringList& args, std::string* error);

// The role's help: every option with an example.
const char* ConsoleHelp();

}  // namespace quell::sim
