#include "monitoring/html_text.h"

#include "core/cp1251.h"

namespace quell {
namespace {

// Appends bytes, escaped; plain runs go through convert (Windows-1251 or
// UTF-8 as they are).
template <typename Convert>
std::string Escape(std::string_view bytes, Convert convert) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  size_t run = 0;
  const auto flush = [&](size_t end) {
    if (end > run) convert(out, bytes.substr(run, end - run));
  };
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    const char* entity = nullptr;
    switch (c) {
      case '<':
        entity = "&lt;";
        break;
      case '>':
        entity = "&gt;";
        break;
      case '&':
        entity = "&amp;";
        break;
      case '"':
        entity = "&quot;";
        break;
      case '\'':
        entity = "&#39;";
        break;
      default:
        break;
    }
    if (!entity && c >= 0x20) continue;
    flush(i);
    run = i + 1;
    if (entity) {
      out += entity;
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  flush(bytes.size());
  return out;
}

}  // namespace

std::string HtmlFromCp1251(std::string_view bytes) {
  return Escape(bytes,
                [](std::string& out, std::string_view run) { AppendCp1251AsUtf8(out, run); });
}

std::string HtmlFromUtf8(std::string_view utf8) {
  return Escape(utf8, [](std::string& out, std::string_view run) { out.append(run); });
}

}  // namespace quell
