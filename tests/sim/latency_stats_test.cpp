#include "sim/latency_stats.h"

#include <gtest/gtest.h>

namespace quell::sim {
namespace {

TEST(LatencyStats, NearestRankPercentiles) {
  std::vector<double> tenShuffled = {7, 3, 10, 1, 9, 2, 8, 5, 4, 6};
  std::vector<double> hundred;
  for (int i = 100; i >= 1; --i) hundred.push_back(i);
  const struct {
    std::vector<double> samples;
    double p, expected;
  } cases[] = {
      {{}, 50, 0},           {{7.5}, 50, 7.5},     {{7.5}, 99, 7.5},
      {{7.5}, 100, 7.5},     {tenShuffled, 90, 9},  // rank exactly 9: not the 10th sample
      {tenShuffled, 91, 10}, {tenShuffled, 50, 5}, {tenShuffled, 10, 1},
      {tenShuffled, 1, 1},   {hundred, 99, 99},    {hundred, 99.5, 100},
  };
  for (const auto& c : cases) {
    LatencyStats stats;
    for (double s : c.samples) stats.Add(s);
    EXPECT_EQ(stats.Percentile(c.p), c.expected) << c.samples.size() << " samples, p" << c.p;
  }
}

TEST(LatencyStats, SummaryAfterMoreSamplesArrive) {
  LatencyStats stats;
  EXPECT_EQ(stats.Summary(), "none");
  stats.Add(2);
  EXPECT_EQ(stats.Max(), 2);
  stats.Add(0.4);  // after a percentile was asked: must be sorted again
  EXPECT_EQ(stats.Summary(), "p50 0.40 ms, p90 2.00 ms, p99 2.00 ms, p99.9 2.00 ms, max 2.00 ms");
}

}  // namespace
}  // namespace quell::sim
