#include "sim/modem/at_syntax.h"

#include <algorithm>
#include <cctype>

namespace quell::sim {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
  return c >= 'A' && c <= 'Z';
}

// Skips the digits at text[i...], returning how many there were.
size_t SkipDigits(std::string_view text, size_t& i) {
  size_t start = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  return i - start;
}

}  // namespace

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

std::string_view Unquoted(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    return text.substr(1, text.size() - 2);
  return text;
}

std::optional<BasicSettings> ParseBasicString(std::string_view upper) {
  BasicSettings settings;
  size_t i = 0;
  while (i < upper.size()) {
    char c = upper[i++];
    if (c == '&') {
      if (i == upper.size() || !IsLetter(upper[i])) return std::nullopt;
      ++i;
      SkipDigits(upper, i);
    } else if (c == 'S') {
      const size_t reg = i;
      const size_t regDigits = SkipDigits(upper, i);
      if (regDigits == 0 || i == upper.size()) return std::nullopt;
      if (upper[i] == '?') {
        ++i;
      } else if (upper[i] == '=') {
        const size_t value = ++i;
        const size_t valueDigits = SkipDigits(upper, i);
        if (valueDigits == 0) return std::nullopt;
        if (ParseNumber(upper.substr(reg, regDigits)) == 0)
          settings.s0 = ParseNumber(upper.substr(value, valueDigits)).value_or(0);
      } else {
        return std::nullopt;
      }
    } else if (IsLetter(c) && c != 'A' && c != 'D' && c != 'H') {
      size_t at = i;
      size_t digits = SkipDigits(upper, i);
      if (c == 'E')
        settings.echo = digits > 0 && upper.substr(at, digits) != std::string(digits, '0');
      if (c == 'Z') settings.reset = true;
    } else {
      return std::nullopt;
    }
  }
  return settings;
}

bool IsDialTarget(std::string_view target) {
  return !target.empty() && std::all_of(target.begin(), target.end(), [](char c) {
    return IsDigit(c) || c == '+' || c == '*' || c == '#' || c == ',';
  });
}

std::optional<int> ParseNumber(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

bool IsAcceptedSetCommand(std::string_view name) {
  static constexpr std::string_view kAccepted[] = {
      "+CLIP", "+CLIR", "+COLP", "+CRC", "+CREG", "+CNMI", "+CMGF", "+CMEE", "+CSCS",
      "+CPMS", "+CSMS", "+CSDH", "+IFC", "+IPR",  "^CURC", "*ECAV", "+WIND"};
  return std::find(std::begin(kAccepted), std::end(kAccepted), name) != std::end(kAccepted);
}

}  // namespace quell::sim
