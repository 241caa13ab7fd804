#pragma once
// Messages a second over a measured stretch, for the roles' summaries.
#include <cstdint>
#include <string>

namespace quell::sim {

// 0 when no time passed.
double PerSecond(uint64_t messages, int64_t elapsedUs);

// "throughput: 1000 messages in 0.50 s, 2000 messages/s"
std::string ThroughputLine(uint64_t messages, int64_t elapsedUs);

}  // namespace quell::sim
