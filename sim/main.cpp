// quell-sim: plays field equipment for a station. The first argument picks
// the role; the rest belongs to the role.
#include <cstdio>
#include <string_view>

#include "sim/roles.h"

int main(int argc, char** argv) {
  const std::string_view word = argc > 1 ? argv[1] : "";
  if (word == "--help" || word == "-h" || word == "help") {
    quell::sim::PrintUsage(stdout);
    return 0;
  }
  const quell::sim::Role* role = quell::sim::FindRole(word);
  if (!role) {
    if (!word.empty()) std::fprintf(stderr, "quell-sim: unknown role \"%s\"\n\n", argv[1]);
    quell::sim::PrintUsage(stderr);
    return 2;
  }
  return role->run(argc - 1, argv + 1);
}
