#pragma once
// IPv6 address blocks as the relay of the monitoring port matches its peers
// against them: sixteen bytes and a prefix length, free of Qt so that the
// relay's thread needs nothing but the standard library and the sockets.
#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace quell {

struct Ipv6Block {
  std::array<uint8_t, 16> address{};
  int bits = 128;  // 0 to 128
};

// nullopt: any peer is admitted; an empty list admits nobody.
using Ipv6Blocks = std::optional<std::vector<Ipv6Block>>;

// True when the first bits of peer equal those of the block.
bool InBlock(const Ipv6Block& block, const in6_addr& peer);
bool Admits(const Ipv6Blocks& blocks, const in6_addr& peer);

}  // namespace quell
