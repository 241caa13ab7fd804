#include "sim/throughput.h"

#include <gtest/gtest.h>

namespace quell::sim {
namespace {

TEST(Throughput, MessagesASecond) {
  const struct {
    uint64_t messages;
    int64_t elapsedUs;
    const char* line;
  } cases[] = {
      {1000, 500'000, "throughput: 1000 messages in 0.50 s, 2000 messages/s"},
      {3, 2'000'000, "throughput: 3 messages in 2.00 s, 2 messages/s"},
      {0, 1'000'000, "throughput: 0 messages in 1.00 s, 0 messages/s"},
      // No time measured (nothing ran, or a clock step): no rate rather than a division by 0.
      {5, 0, "throughput: 5 messages in 0.00 s, 0 messages/s"},
      {5, -10, "throughput: 5 messages in 0.00 s, 0 messages/s"},
  };
  for (const auto& c : cases) EXPECT_EQ(ThroughputLine(c.messages, c.elapsedUs), c.line);
}

}  // namespace
}  // namespace quell::sim
