#pragma once
// The ip role's command line: "quell-sim ip [HOST:]PORT [options]".
#include <QStringList>
#include <optional>
#include <string>

#include "sim/host_port.h"

namespace quell::sim {

struct IpArgs {
  bool help = false;
  HostPort target{"127.0.0.1", 8097};
  uint32_t modules = 1;
  uint32_t messages = 1;  // per module
  uint32_t accountBase = 1234;
  bool keepAlive = false;
  uint32_t timeoutMs = 5000;
  uint32_t rate = 0;  // messages a second from all modules; 0: each after the last reply
  bool quiet = false;
};

// args excludes the program and role words. nullopt with the reason.
std::optional<IpArgs> ParseIpArgs(const QStringList& args, std::string* error);

// The role's help: every option with an example.
const char* IpHelp();

}  // namespace quell::sim
