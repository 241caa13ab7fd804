#include "monitoring/ipv6_block.h"

namespace quell {

bool InBlock(const Ipv6Block& block, const in6_addr& peer) {
  const int bits = block.bits < 0 ? 0 : block.bits > 128 ? 128 : block.bits;
  const int whole = bits / 8;
  for (int i = 0; i < whole; ++i)
    if (block.address[size_t(i)] != peer.s6_addr[i]) return false;
  if (const int rest = bits % 8; rest != 0) {
    const uint8_t mask = uint8_t(0xFF << (8 - rest));
    if ((block.address[size_t(whole)] & mask) != (peer.s6_addr[whole] & mask)) return false;
  }
  return true;
}

bool Admits(const Ipv6Blocks& blocks, const in6_addr& peer) {
  if (!blocks) return true;
  for (const Ipv6Block& block : *blocks)
    if (InBlock(block, peer)) return true;
  return false;
}

}  // namespace quell
