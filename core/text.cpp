#include "core/text.h"

#include <charconv>
#include <cstring>

namespace quell {

std::string FieldAt(std::string_view text, int n, std::string_view sep) {
  if (n < 1 || sep.empty()) return std::string(kFalse);
  // One separator byte and no NUL: the fields are found in text itself, the
  // appended separator ending the last one (no copy of the text per call).
  if (sep.size() == 1 && sep[0] != '\0' && text.find('\0') == std::string_view::npos) {
    size_t fieldStart = 0;
    for (int i = 1; i < n; ++i) {
      const size_t at = text.find(sep[0], fieldStart);
      if (at == std::string_view::npos) return std::string(kFalse);
      fieldStart = at + 1;
    }
    size_t end = text.find(sep[0], fieldStart);
    if (end == std::string_view::npos) end = text.size();
    if (end == fieldStart) return std::string(kFalse);
    return std::string(text.substr(fieldStart, end - fieldStart));
  }
  std::string w(text);
  w.append(sep);
  // The search treats the copy as ending at its first NUL.
  std::string_view view(w.c_str(), std::strlen(w.c_str()));
  size_t fieldStart = 0;
  for (int i = 1;; ++i) {
    size_t at = view.find(sep, fieldStart);
    if (at == std::string_view::npos) return std::string(kFalse);
    if (i == n) {
      if (at == fieldStart) return std::string(kFalse);
      return std::string(w.substr(fieldStart, at - fieldStart));
    }
    fieldStart = at + sep.size();
  }
}

std::string Substring(std::string_view text, int start, int count) {
  if (start < 1) start = 1;
  if (count <= 0 || size_t(start) > text.size()) return {};
  return std::string(text.substr(size_t(start - 1), size_t(count)));
}

int Pos(std::string_view part, std::string_view text) {
  if (part.empty()) return 0;
  size_t at = text.find(part);
  return at == std::string_view::npos ? 0 : int(at) + 1;
}

std::string Trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
  return std::string(text.substr(b, e - b));
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& ch : out) {
    auto c = static_cast<unsigned char>(ch);
    if (c >= 'a' && c <= 'z')
      c = static_cast<unsigned char>(c - 32);
    else if (c >= 0xE0)
      c = static_cast<unsigned char>(c - 32);  // а..я -> А..Я
    else if (c == 0xB8)
      c = 0xA8;  // ё -> Ё
    else if (c == 0xA2)
      c = 0xA1;  // ў -> Ў
    else if (c == 0xB3)
      c = 0xB2;  // і -> І
    else if (c == 0xBF)
      c = 0xAF;  // ї -> Ї
    else if (c == 0xBA)
      c = 0xAA;  // є -> Є
    else if (c == 0xB4)
      c = 0xA5;  // ґ -> Ґ
    else if (c == 0x9A || c == 0x9C || c == 0x9D || c == 0x9E || c == 0x9F)
      c = static_cast<unsigned char>(c - 16);  // љ њ ќ ћ џ
    else if (c == 0x83)
      c = 0x81;  // ѓ -> Ѓ
    else if (c == 0x90)
      c = 0x80;  // ђ -> Ђ
    else if (c == 0xBC)
      c = 0xA3;  // ј -> Ј
    else if (c == 0xBE)
      c = 0xBD;  // ѕ -> Ѕ
    ch = static_cast<char>(c);
  }
  return out;
}

std::optional<int> ToInt(std::string_view text) {
  if (text.empty()) return std::nullopt;
  size_t i = 0;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    i = 1;
  }
  if (i >= text.size()) return std::nullopt;
  long long value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > 2147483647LL) return std::nullopt;
  return int(value);
}

std::string PadLeft(std::string_view text, size_t width, char fill) {
  std::string out(text);
  if (out.size() < width) out.insert(0, width - out.size(), fill);
  return out;
}

}  // namespace quell
