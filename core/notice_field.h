#pragma once
// Text from outside (a receiver's message, a panel's frame) placed as one
// field of a ";"-separated notice for the Wardex client: a ";" or "|" would
// add a field or end the notice early, a control byte could cut it short.
#include <cstdint>
#include <string>
#include <string_view>

namespace quell {

// A byte that may never stand inside a protocol field: 0x00-0x1F and 0x7F.
// In Windows-1251, 0x80-0x9F are letters.
inline bool IsControlByte(char c) {
  return uint8_t(c) < 0x20 || uint8_t(c) == 0x7F;
}

// A byte that would split a ";"/"|" protocol's fields or records.
inline bool SplitsFields(char c) {
  return c == ';' || c == '|' || IsControlByte(c);
}

// text with every ";", "|" and control byte replaced by "_"; with
// keepFinalCr a CR that ends the text stays (a VORTI message's terminator).
std::string NoticeField(std::string_view text, bool keepFinalCr = false);

}  // namespace quell
