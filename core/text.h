#pragma once
// Text operations on 8-bit (Windows-1251) strings. Positions count from 1.
#include <optional>
#include <string>
#include <string_view>

namespace quell {

// Marks an absent or empty value everywhere in the gateway.
inline constexpr std::string_view kFalse = "FALSE";

// The n-th field of text (counted from 1) split at sep, or "FALSE" when the
// field is absent or empty. The search stops at the first NUL byte.
std::string FieldAt(std::string_view text, int n, std::string_view sep);

// count characters from 1-based start; a start below 1 counts as 1.
std::string Substring(std::string_view text, int start, int count);

// 1-based position of part in text, 0 when absent or part is empty.
int Pos(std::string_view part, std::string_view text);

inline bool Contains(std::string_view text, std::string_view part) {
  return !part.empty() && text.find(part) != std::string_view::npos;
}
inline bool StartsWith(std::string_view text, std::string_view part) {
  return text.substr(0, part.size()) == part;
}
inline bool IsFalse(std::string_view text) {
  return text == kFalse;
}

// Removes characters of code 32 or less from both ends.
std::string Trim(std::string_view text);

// Upper case in Windows-1251, Cyrillic letters included.
std::string Upper(std::string_view text);

inline std::string Repeat(char c, int n) {
  return n > 0 ? std::string(size_t(n), c) : std::string();
}

// Decimal integer as a strict conversion: optional sign, digits, nothing else.
std::optional<int> ToInt(std::string_view text);

// Puts fill in front of text until it is width characters long.
std::string PadLeft(std::string_view text, size_t width, char fill);

}  // namespace quell
