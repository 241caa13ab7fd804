#include "ip/dc09_frames.h"

#include <array>
#include <cstdio>

#include "core/text.h"

namespace quell {
namespace {

// LF + CRC + length text + body + CR; the CRC covers the body.
std::string Frame(const char* lengthText, const std::string& body) {
  char crc[5];
  std::snprintf(crc, sizeof crc, "%04X", unsigned(Crc16Arc(body)));
  return "\n" + std::string(crc) + lengthText + body + "\r";
}

}  // namespace

uint16_t Crc16Arc(std::string_view bytes) {
  // The bitwise form, eight steps per byte, folded into tables of the 256
  // byte values: table[0] advances the CRC by one byte, table[k] by k + 1
  // bytes of which only the first is not zero. Eight bytes are taken at a
  // time, each through its own table, so the lookups do not wait on each
  // other; the CRC is 16 bits and mixes into the first two of them.
  static const auto table = [] {
    std::array<std::array<uint16_t, 256>, 8> t{};
    for (unsigned n = 0; n < 256; ++n) {
      uint16_t crc = 0;
      unsigned b = n;
      for (int i = 0; i < 8; ++i) {
        const bool mix = ((crc ^ b) & 1) != 0;
        crc >>= 1;
        if (mix) crc ^= 0xA001;
        b >>= 1;
      }
      t[0][n] = crc;
    }
    for (size_t k = 1; k < 8; ++k)
      for (unsigned n = 0; n < 256; ++n)
        t[k][n] = uint16_t((t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF]);
    return t;
  }();
  uint16_t crc = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t n = bytes.size();
  for (; n >= 8; n -= 8, p += 8) {
    crc = uint16_t(table[7][(p[0] ^ crc) & 0xFF] ^ table[6][(p[1] ^ (crc >> 8)) & 0xFF] ^
                   table[5][p[2]] ^ table[4][p[3]] ^ table[3][p[4]] ^ table[2][p[5]] ^
                   table[1][p[6]] ^ table[0][p[7]]);
  }
  for (; n > 0; --n, ++p) crc = uint16_t((crc >> 8) ^ table[0][(crc ^ *p) & 0xFF]);
  return crc;
}

std::string Dc09RelayText(std::string_view datagram) {
  const std::string f1 = FieldAt(datagram, 1, "#");
  const std::string f2 = FieldAt(datagram, 2, "#");
  const std::string f3 = FieldAt(datagram, 3, "#");
  if (IsFalse(f1) || IsFalse(f2) || IsFalse(f3)) return std::string(kFalse);
  return f1 + "011L" + f2 + "#00" + f3;
}

std::string Dc09HeaderEcho(std::string_view datagram) {
  return FieldAt(FieldAt(datagram, 3, "\""), 1, "[");
}

std::string Dc09Timestamp(std::string_view datagram) {
  return FieldAt(datagram, 2, "_");
}

std::string Dc09AckFrame(std::string_view headerEcho) {
  return Frame("0012", "\"ACK\"" + std::string(headerEcho) + "[]");
}

std::string Dc09NackFrame(std::string_view timestamp) {
  return Frame("0026", "\"NACK\"0000R0L0A0[]_" + std::string(timestamp));
}

}  // namespace quell
