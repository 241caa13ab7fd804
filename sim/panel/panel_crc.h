#pragma once
// The checksum closing a reply to a panel: CRC-8/MAXIM (polynomial 0x31
// reflected, so 0x8C; initial value 0; no final XOR), as two upper-case hex
// digits.
#include <cstdint>
#include <string>
#include <string_view>

namespace quell::sim {

uint8_t Crc8Maxim(std::string_view bytes);
std::string HexByte(uint8_t value);

}  // namespace quell::sim
