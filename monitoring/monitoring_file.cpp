#include "monitoring/monitoring_file.h"

#include <QHostAddress>
#include <QString>

#include "core/config/text_file.h"
#include "core/cp1251.h"
#include "core/text.h"

namespace quell {
namespace {

bool ParsePort(std::string_view text, int* port) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return false;
  *port = value;
  return true;
}

// "127.0.0.1:9464" or "[::1]:9464": a literal address (no host name, which
// would need a resolver at start-up) and a port.
bool ParseEndpoint(const std::string& value, MonitoringEndpoint* out) {
  std::string host;
  std::string_view port;
  if (!value.empty() && value[0] == '[') {
    const size_t close = value.find(']');
    if (close == std::string::npos || close + 1 >= value.size() || value[close + 1] != ':')
      return false;
    host = value.substr(1, close - 1);
    port = std::string_view(value).substr(close + 2);
    QHostAddress address;
    if (!address.setAddress(QString::fromLatin1(host.data(), qsizetype(host.size()))) ||
        address.protocol() != QAbstractSocket::IPv6Protocol)
      return false;
  } else {
    const size_t colon = value.rfind(':');
    if (colon == std::string::npos) return false;
    host = value.substr(0, colon);
    port = std::string_view(value).substr(colon + 1);
    QHostAddress address;
    if (!address.setAddress(QString::fromLatin1(host.data(), qsizetype(host.size()))) ||
        address.protocol() != QAbstractSocket::IPv4Protocol)
      return false;
  }
  out->host = host;
  return ParsePort(port, &out->port);
}

}  // namespace

std::string MonitoringEndpoint::Text() const {
  const std::string h = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return h + ":" + std::to_string(port);
}

MonitoringFile ParseMonitoringFile(const std::vector<std::string>& lines) {
  MonitoringFile file;
  file.exists = true;
  std::string section;
  for (size_t i = 0; i < lines.size(); ++i) {
    const int number = int(i) + 1;
    std::string line = lines[i];
    if (const size_t semicolon = line.find(';'); semicolon != std::string::npos)
      line.resize(semicolon);
    line = Trim(line);
    if (line.empty()) continue;
    const std::string where = "Monitoring.ini line " + std::to_string(number) + ": ";
    if (line.front() == '[' && line.back() == ']') {
      section = Trim(std::string_view(line).substr(1, line.size() - 2));
      if (section != "Http") file.problems.push_back(where + "unknown section, skipped");
      continue;
    }
    const size_t eq = line.find('=');
    const std::string key = Trim(std::string_view(line).substr(0, eq));
    if (section != "Http" || eq == std::string::npos || key != "Listen") {
      file.problems.push_back(where + "not understood, skipped: " + Cp1251ToUtf8(line));
      continue;
    }
    MonitoringEndpoint endpoint;
    endpoint.lineNumber = number;
    const std::string value = Trim(std::string_view(line).substr(eq + 1));
    if (!ParseEndpoint(value, &endpoint)) {
      file.problems.push_back(where +
                              "not an address:port such as 127.0.0.1:9464 or [::1]:9464, "
                              "skipped: " +
                              Cp1251ToUtf8(value));
      continue;
    }
    file.listen.push_back(endpoint);
  }
  return file;
}

MonitoringFile ReadMonitoringFile(const std::string& workDir) {
  const auto lines = ReadTextLines(ConfigPath(workDir, kMonitoringFileName));
  if (!lines) return {};
  return ParseMonitoringFile(*lines);
}

}  // namespace quell
