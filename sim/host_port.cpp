#include "sim/host_port.h"

#include <QHostInfo>
#include <charconv>

namespace quell::sim {

std::optional<HostPort> ParseHostPort(std::string_view text, std::string_view defaultHost,
                                      std::string* error) {
  HostPort out{std::string(defaultHost), 0};
  std::string_view port = text;
  const size_t colon = text.rfind(':');
  if (colon != std::string_view::npos) {
    std::string_view host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
      host = host.substr(1, host.size() - 2);
    if (host.empty()) {
      *error = "no host before the port in \"" + std::string(text) + "\"";
      return std::nullopt;
    }
    out.host = std::string(host);
    port = text.substr(colon + 1);
  }
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (port.empty() || ec != std::errc() || end != port.data() + port.size() || value == 0 ||
      value > 65535) {
    *error = "the port wants a number from 1 to 65535, not \"" + std::string(port) + "\"";
    return std::nullopt;
  }
  out.port = uint16_t(value);
  return out;
}

std::optional<QHostAddress> ResolveHost(const std::string& host, std::string* error) {
  const QString name = QString::fromStdString(host);
  QHostAddress address;
  if (address.setAddress(name)) return address;
  const QHostInfo info = QHostInfo::fromName(name);
  if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
    *error = host + ": " + info.errorString().toStdString();
    return std::nullopt;
  }
  return info.addresses().front();
}

}  // namespace quell::sim
