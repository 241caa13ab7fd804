#pragma once
// "\Monitoring.ini" (optional): where the monitoring HTTP server listens.
//   [Http]
//   Listen=127.0.0.1:9464
//   Listen=[::1]:9464
// ";" starts a comment. A line that does not read is reported and skipped.
#include <string>
#include <vector>

namespace quell {

inline constexpr std::string_view kMonitoringFileName = "\\Monitoring.ini";

struct MonitoringEndpoint {
  std::string host;  // "127.0.0.1" or "::1" (without brackets)
  int port = 0;
  int lineNumber = 0;
  // As civetweb names it: "127.0.0.1:9464" or "[::1]:9464".
  std::string Text() const;
};

struct MonitoringFile {
  bool exists = false;
  std::vector<MonitoringEndpoint> listen;
  std::vector<std::string> problems;  // one journal line each
};

MonitoringFile ParseMonitoringFile(const std::vector<std::string>& lines);
MonitoringFile ReadMonitoringFile(const std::string& workDir);

}  // namespace quell
