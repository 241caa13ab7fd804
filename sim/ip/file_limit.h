#pragma once
// Many connections at once need many descriptors: the soft limit on open
// files is raised to the hard one.
#include <cstdint>

namespace quell::sim {

// The soft limit after raising it as far as allowed.
uint64_t RaiseOpenFileLimit();

}  // namespace quell::sim
