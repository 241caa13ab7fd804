#pragma once
// Hex digits: reading them in either case, writing them in upper case.
#include <optional>
#include <string>
#include <string_view>

namespace quell {

// The value of a hex digit in either case; -1 for any other byte.
int HexDigitValue(char c);

// Upper-case hex of the bytes.
std::string HexUpper(std::string_view bytes);
// Bytes of an even number of hex digits in either case; nullopt otherwise.
std::optional<std::string> FromHex(std::string_view hex);

}  // namespace quell
