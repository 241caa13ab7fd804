#include "core/hex.h"

#include <array>
#include <cstdint>

namespace quell {
namespace {

// The value of each byte as a hex digit in either case; 16 for the rest.
// Every frame's header and every encrypted block go through it.
constexpr std::array<uint8_t, 256> kHexValue = [] {
  std::array<uint8_t, 256> t{};
  for (auto& v : t) v = 16;
  for (int c = 0; c < 10; ++c) t['0' + c] = uint8_t(c);
  for (int c = 0; c < 6; ++c) t['A' + c] = t['a' + c] = uint8_t(10 + c);
  return t;
}();

}  // namespace

int HexDigitValue(char c) {
  const uint8_t v = kHexValue[uint8_t(c)];
  return v < 16 ? v : -1;
}

std::string HexUpper(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex(bytes.size() * 2, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = uint8_t(bytes[i]);
    hex[2 * i] = kDigits[b >> 4];
    hex[2 * i + 1] = kDigits[b & 15];
  }
  return hex;
}

std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes(hex.size() / 2, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint8_t hi = kHexValue[uint8_t(hex[2 * i])], lo = kHexValue[uint8_t(hex[2 * i + 1])];
    if ((hi | lo) > 15) return std::nullopt;
    bytes[i] = char(hi * 16 + lo);
  }
  return bytes;
}

}  // namespace quell
