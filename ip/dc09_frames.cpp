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
  // The bitwise form, eight steps per byte, folded into a table of the 256
  // byte values: the same CRC at a fraction of the work on long frames.
  static const auto table = [] {
    std::array<uint16_t, 256> t{};
    for (unsigned n = 0; n < 256; ++n) {
      uint16_t crc = 0;
      unsigned b = n;
      for (int i = 0; i < 8; ++i) {
        const bool mix = ((crc ^ b) & 1) != 0;
        crc >>= 1;
        if (mix) crc ^= 0xA001;
        b >>= 1;
      }
      t[n] = crc;
    }
    return t;
  }();
  uint16_t crc = 0;
  for (unsigned char b : bytes) crc = uint16_t((crc >> 8) ^ table[(crc ^ b) & 0xFF]);
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
