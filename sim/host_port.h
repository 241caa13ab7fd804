#pragma once
// The "[HOST:]PORT" argument of the network roles.
#include <QHostAddress>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quell::sim {

struct HostPort {
  std::string host;
  uint16_t port = 0;
};

// "8005", "10.0.0.5:8005", "gateway:8005" or "[::1]:8005"; a bare port
// takes defaultHost. nullopt with the reason.
std::optional<HostPort> ParseHostPort(std::string_view text, std::string_view defaultHost,
                                      std::string* error);

// An address literal, or the first address a name lookup gives (blocks).
std::optional<QHostAddress> ResolveHost(const std::string& host, std::string* error);

}  // namespace quell::sim
