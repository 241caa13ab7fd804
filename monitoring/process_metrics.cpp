#include "monitoring/process_metrics.h"

#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace quell {
namespace {

prometheus::MetricFamily One(const char* name, const char* help, prometheus::MetricType type,
                             double value) {
  prometheus::MetricFamily family{name, help, type, {}};
  prometheus::ClientMetric metric;
  if (type == prometheus::MetricType::Counter)
    metric.counter.value = value;
  else
    metric.gauge.value = value;
  family.metric.push_back(metric);
  return family;
}

// The system's boot time, seconds since the epoch ("btime" of /proc/stat).
double BootTime() {
  std::ifstream stat("/proc/stat");
  std::string key;
  while (stat >> key) {
    if (key == "btime") {
      double value = 0;
      stat >> value;
      return value;
    }
    stat.ignore(1 << 16, '\n');
  }
  return 0;
}

int OpenFds() {
  DIR* dir = ::opendir("/proc/self/fd");
  if (!dir) return -1;
  int count = 0;
  while (const dirent* entry = ::readdir(dir))
    if (entry->d_name[0] != '.') ++count;
  ::closedir(dir);
  return count - 1;  // the directory's own descriptor
}

}  // namespace

std::vector<prometheus::MetricFamily> ProcessMetrics() {
  std::vector<prometheus::MetricFamily> out;
  // /proc/self/stat: the command name is in parentheses and may hold
  // blanks; fields are counted after its closing parenthesis.
  std::ifstream file("/proc/self/stat");
  std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const size_t close = content.rfind(')');
  if (close != std::string::npos) {
    std::istringstream fields(content.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0, start = 0, rss = 0;
    // Field 3 (state) is the first after the name; utime is 14, stime 15,
    // starttime 22, rss 24.
    for (int n = 3; fields >> field && n <= 24; ++n) {
      if (n == 14) utime = std::stod(field);
      if (n == 15) stime = std::stod(field);
      if (n == 22) start = std::stod(field);
      if (n == 24) rss = std::stod(field);
    }
    const double ticks = double(::sysconf(_SC_CLK_TCK));
    const double page = double(::sysconf(_SC_PAGESIZE));
    out.push_back(One("process_cpu_seconds_total",
                      "Total user and system CPU time spent in seconds.",
                      prometheus::MetricType::Counter, (utime + stime) / ticks));
    out.push_back(One("process_start_time_seconds",
                      "Start time of the process since unix epoch in seconds.",
                      prometheus::MetricType::Gauge, BootTime() + start / ticks));
    out.push_back(One("process_resident_memory_bytes", "Resident memory size in bytes.",
                      prometheus::MetricType::Gauge, rss * page));
  }
  const int fds = OpenFds();
  if (fds >= 0)
    out.push_back(One("process_open_fds", "Number of open file descriptors.",
                      prometheus::MetricType::Gauge, fds));
  return out;
}

}  // namespace quell
