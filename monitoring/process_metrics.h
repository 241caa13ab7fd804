#pragma once
// The standard process metrics, read from /proc/self when scraped (the
// registry library has no process collector): process_start_time_seconds,
// process_resident_memory_bytes, process_open_fds, process_cpu_seconds_total.
#include <prometheus/metric_family.h>

#include <vector>

namespace quell {

std::vector<prometheus::MetricFamily> ProcessMetrics();

}  // namespace quell
