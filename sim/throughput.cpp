#include "sim/throughput.h"

#include <cstdio>

namespace quell::sim {

double PerSecond(uint64_t messages, int64_t elapsedUs) {
  if (elapsedUs <= 0) return 0;
  return double(messages) * 1e6 / double(elapsedUs);
}

std::string ThroughputLine(uint64_t messages, int64_t elapsedUs) {
  char text[128];
  std::snprintf(text, sizeof text, "throughput: %llu messages in %.2f s, %.0f messages/s",
                (unsigned long long)messages, double(elapsedUs > 0 ? elapsedUs : 0) / 1e6,
                PerSecond(messages, elapsedUs));
  return text;
}

}  // namespace quell::sim
