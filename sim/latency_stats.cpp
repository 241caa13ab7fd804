#include "sim/latency_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quell::sim {

void LatencyStats::Add(double ms) {
  if (!samples_.empty() && ms < samples_.back()) sorted_ = false;
  samples_.push_back(ms);
}

double LatencyStats::Percentile(double p) const {
  if (samples_.empty()) return 0;
  if (!sorted_) {
    std::sort(samples_.begin(), samples_.end());
    sorted_ = true;
  }
  // The epsilon keeps a rank that is whole in decimal (90% of 10 = 9) from
  // rounding up through binary fractions.
  const double rank = std::ceil(p * double(samples_.size()) / 100.0 - 1e-9);
  const size_t index = size_t(std::clamp(rank, 1.0, double(samples_.size()))) - 1;
  return samples_[index];
}

std::string LatencyStats::Summary() const {
  if (samples_.empty()) return "none";
  char text[192];
  std::snprintf(text, sizeof text,
                "p50 %.2f ms, p90 %.2f ms, p99 %.2f ms, p99.9 %.2f ms, max %.2f ms", Percentile(50),
                Percentile(90), Percentile(99), Percentile(99.9), Max());
  return text;
}

}  // namespace quell::sim
