#include "core/cp1251.h"

#include <QList>
#include <array>

namespace quell {
namespace {

// Unicode code points of bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F.
constexpr std::array<char16_t, 64> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char16_t ToUnicode(unsigned char c) {
  if (c < 0x80) return c;
  if (c >= 0xC0) return char16_t(0x0410 + (c - 0xC0));
  return kHigh[c - 0x80];
}

char FromUnicode(char32_t u) {
  if (u < 0x80) return char(u);
  if (u >= 0x0410 && u <= 0x044F) return char(0xC0 + (u - 0x0410));
  for (size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i] == u && u != 0xFFFD) return char(0x80 + i);
  return '?';
}

}  // namespace

QString FromCp1251(std::string_view bytes) {
  // One UTF-16 unit a byte: written in place (events and journal lines
  // pass here, many thousands a second).
  QString out(qsizetype(bytes.size()), Qt::Uninitialized);
  char16_t* to = reinterpret_cast<char16_t*>(out.data());
  for (char c : bytes) *to++ = ToUnicode(static_cast<unsigned char>(c));
  return out;
}

std::string ToCp1251(const QString& text) {
  std::string out;
  out.reserve(size_t(text.size()));
  for (char32_t u : text.toUcs4()) out.push_back(FromUnicode(u));
  return out;
}

void AppendCp1251AsUtf8(std::string& out, std::string_view bytes) {
  out.reserve(out.size() + bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    // Runs of ASCII, most of any journal line, go over as they are.
    size_t end = i;
    while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) < 0x80) ++end;
    out.append(bytes.data() + i, end - i);
    if (end == bytes.size()) break;
    const char16_t u = ToUnicode(static_cast<unsigned char>(bytes[end]));
    if (u < 0x800) {
      out.push_back(char(0xC0 | (u >> 6)));
      out.push_back(char(0x80 | (u & 0x3F)));
    } else {
      out.push_back(char(0xE0 | (u >> 12)));
      out.push_back(char(0x80 | ((u >> 6) & 0x3F)));
      out.push_back(char(0x80 | (u & 0x3F)));
    }
    i = end + 1;
  }
}

std::string Cp1251ToUtf8(std::string_view bytes) {
  std::string out;
  AppendCp1251AsUtf8(out, bytes);
  return out;
}

std::string Utf8ToCp1251(std::string_view utf8) {
  return ToCp1251(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
}

}  // namespace quell
