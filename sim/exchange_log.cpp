#include "sim/exchange_log.h"

#include <algorithm>

namespace quell::sim {
namespace {

bool OnlyLineEnds(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; });
}

}  // namespace

std::string EscapeBytes(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (char c : bytes) {
    auto u = static_cast<unsigned char>(c);
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\t') {
      text += "\\t";
    } else if (c == '\\') {
      text += "\\\\";
    } else if (u < 0x20 || u >= 0x7f) {
      text += {'\\', 'x', kHex[u >> 4], kHex[u & 15]};
    } else {
      text += c;
    }
  }
  return text;
}

std::vector<std::string> LineCutter::Add(std::string_view bytes) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < bytes.size(); ++i) {
    partial_ += bytes[i];
    bool end = bytes[i] == '\n' || partial_.size() >= kMaxLine ||
               (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'));
    if (end && !OnlyLineEnds(partial_)) {
      lines.push_back(partial_);
      partial_.clear();
    }
  }
  return lines;
}

void ExchangeLog::Write(const char* prefix, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) sink_(prefix + EscapeBytes(line));
}

}  // namespace quell::sim
