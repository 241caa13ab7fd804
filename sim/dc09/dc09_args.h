#pragma once
// The dc09 role's command line: "quell-sim dc09 [HOST:]PORT [options]".
#include <QStringList>
#include <optional>
#include <string>

#include "sim/dc09/dc09_sender.h"
#include "sim/host_port.h"

namespace quell::sim {

struct Dc09Args {
  bool help = false;
  HostPort target{"127.0.0.1", 8005};
  Dc09Message message;
  bool probe = false;  // --req
  bool tcp = false;    // --tcp: one TCP connection instead of datagrams
  uint32_t count = 1;
  double rate = 0;      // messages a second; 0: paced by the replies
  uint32_t window = 1;  // messages waiting for replies at once, when rate is 0
  uint32_t timeoutMs = 2000;
  bool quiet = false;
};

// args excludes the program and role words. nullopt with the reason.
std::optional<Dc09Args> ParseDc09Args(const QStringList& args, std::string* error);

// The role's help: every option with an example.
const char* Dc09Help();

}  // namespace quell::sim
