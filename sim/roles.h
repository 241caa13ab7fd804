#pragma once
// The devices quell-sim can play, each a role picked by the first argument.
#include <cstdio>
#include <span>
#include <string_view>

namespace quell::sim {

struct Role {
  std::string_view name;
  std::string_view summary;
  int (*run)(int argc, char** argv);  // argv[0] is the role word
};

std::span<const Role> Roles();
const Role* FindRole(std::string_view name);

// "quell-sim --help": usage and the roles.
void PrintUsage(std::FILE* out);

}  // namespace quell::sim
