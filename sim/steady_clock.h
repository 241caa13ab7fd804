#pragma once
// The programs' clock for reply times; the role logic takes times as
// arguments, so tests pass their own.
#include <chrono>
#include <cstdint>

namespace quell::sim {

inline int64_t SteadyMicros() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace quell::sim
