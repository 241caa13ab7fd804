#include "monitoring/atomic_histogram.h"

#include <algorithm>
#include <limits>

namespace quell {

AtomicHistogram::AtomicHistogram(std::vector<double> bounds)
    : bounds_(std::move(bounds)), counts_(new std::atomic<uint64_t>[bounds_.size() + 1]) {
  for (size_t i = 0; i <= bounds_.size(); ++i) counts_[i].store(0, std::memory_order_relaxed);
}

void AtomicHistogram::Observe(double value) {
  // A value equal to a bound belongs to that bound's bucket (le).
  const size_t bucket =
      size_t(std::lower_bound(bounds_.begin(), bounds_.end(), value) - bounds_.begin());
  counts_[bucket].fetch_add(1, std::memory_order_relaxed);
  sum_.fetch_add(value, std::memory_order_relaxed);
}

prometheus::ClientMetric::Histogram AtomicHistogram::Read() const {
  prometheus::ClientMetric::Histogram h;
  uint64_t cumulative = 0;
  for (size_t i = 0; i <= bounds_.size(); ++i) {
    cumulative += counts_[i].load(std::memory_order_relaxed);
    h.bucket.push_back(
        {cumulative, i < bounds_.size() ? bounds_[i] : std::numeric_limits<double>::infinity()});
  }
  h.sample_count = cumulative;
  h.sample_sum = sum_.load(std::memory_order_relaxed);
  return h;
}

AtomicHistogramFamily::AtomicHistogramFamily(std::string name, std::string help)
    : name_(std::move(name)), help_(std::move(help)) {}

AtomicHistogram& AtomicHistogramFamily::Add(std::vector<prometheus::ClientMetric::Label> labels,
                                            std::vector<double> bounds) {
  series_.push_back({std::move(labels), std::make_unique<AtomicHistogram>(std::move(bounds))});
  return *series_.back().histogram;
}

std::vector<prometheus::MetricFamily> AtomicHistogramFamily::Collect() const {
  prometheus::MetricFamily family;
  family.name = name_;
  family.help = help_;
  family.type = prometheus::MetricType::Histogram;
  for (const Series& s : series_) {
    prometheus::ClientMetric metric;
    metric.label = s.labels;
    metric.histogram = s.histogram->Read();
    family.metric.push_back(std::move(metric));
  }
  return {std::move(family)};
}

}  // namespace quell
