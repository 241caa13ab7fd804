#include "sim/panel/panel_crc.h"

namespace quell::sim {

uint8_t Crc8Maxim(std::string_view bytes) {
  uint8_t crc = 0;
  for (char c : bytes) {
    crc ^= uint8_t(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? uint8_t((crc >> 1) ^ 0x8C) : crc >> 1;
  }
  return crc;
}

std::string HexByte(uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

}  // namespace quell::sim
