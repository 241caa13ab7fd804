#pragma once
// Histograms the hot paths observe into without a lock: one relaxed atomic
// add per bucket and sum, on the observing thread. prometheus-cpp's own
// Histogram::Observe takes a mutex that its Collect also holds during a
// scrape; these are turned into the same text format only at scrape time,
// through a Collectable, with the names, labels and buckets unchanged.
#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace quell {

class AtomicHistogram {
 public:
  // bounds: the buckets' upper bounds, ascending; +Inf is added.
  explicit AtomicHistogram(std::vector<double> bounds);
  AtomicHistogram(const AtomicHistogram&) = delete;
  AtomicHistogram& operator=(const AtomicHistogram&) = delete;

  // Any thread, lock-free.
  void Observe(double value);
  // Any thread: the buckets as cumulative counts, +Inf last; the count is
  // the +Inf bucket's, so the two always agree.
  prometheus::ClientMetric::Histogram Read() const;

 private:
  std::vector<double> bounds_;
  std::unique_ptr<std::atomic<uint64_t>[]> counts_;  // per bucket, not cumulative
  std::atomic<double> sum_{0.0};
};

// One histogram family: its series are made at start-up, before any
// observation or scrape, and stay.
class AtomicHistogramFamily final : public prometheus::Collectable {
 public:
  AtomicHistogramFamily(std::string name, std::string help);
  // Start-up only: a series with its labels.
  AtomicHistogram& Add(std::vector<prometheus::ClientMetric::Label> labels,
                       std::vector<double> bounds);
  std::vector<prometheus::MetricFamily> Collect() const override;

 private:
  struct Series {
    std::vector<prometheus::ClientMetric::Label> labels;
    std::unique_ptr<AtomicHistogram> histogram;
  };
  std::string name_, help_;
  std::vector<Series> series_;
};

}  // namespace quell
