#pragma once
// Reply times of a simulated device: every sample is kept, so percentiles are
// exact (nearest rank: the smallest sample with at least p% of all samples
// at or below it).
#include <cstddef>
#include <string>
#include <vector>

namespace quell::sim {

class LatencyStats {
 public:
  void Add(double ms);
  size_t Count() const { return samples_.size(); }
  // p in (0, 100]; 0 without samples.
  double Percentile(double p) const;
  double Max() const { return Percentile(100); }
  // "p50 0.40 ms, p90 0.60 ms, p99 1.00 ms, p99.9 1.10 ms, max 1.20 ms" or
  // "none".
  std::string Summary() const;

 private:
  mutable std::vector<double> samples_;
  mutable bool sorted_ = true;
};

}  // namespace quell::sim
