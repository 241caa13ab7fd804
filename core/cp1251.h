#pragma once
// Conversion between the gateway's Windows-1251 byte strings and Unicode.
#include <QString>
#include <string>
#include <string_view>

namespace quell {

// Windows-1251 bytes to UTF-8 (undefined byte 0x98 maps to U+FFFD).
std::string Cp1251ToUtf8(std::string_view bytes);
// The same, appended to out.
void AppendCp1251AsUtf8(std::string& out, std::string_view bytes);

// UTF-8 to Windows-1251; characters without a 1251 code become '?'.
std::string Utf8ToCp1251(std::string_view utf8);

QString FromCp1251(std::string_view bytes);
std::string ToCp1251(const QString& text);

// A text written in UTF-8 source, as the Windows-1251 bytes the engine uses.
inline std::string W(std::string_view utf8) {
  return Utf8ToCp1251(utf8);
}

}  // namespace quell
