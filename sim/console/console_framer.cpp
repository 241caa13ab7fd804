#include "sim/console/console_framer.h"

namespace quell::sim {

std::vector<std::string> ConsoleFramer::Add(std::string_view bytes) {
  std::vector<std::string> lines;
  for (char c : bytes) Byte(c, lines);
  return lines;
}

void ConsoleFramer::Byte(char c, std::vector<std::string>& lines) {
  const bool contactId = format_ == ConsoleFormat::ContactId;
  if (!contactId && c == '\n') {  // a frame starts, whatever came before
    partial_.clear();
    inFrame_ = true;
    overlong_ = false;
    return;
  }
  const bool end = contactId ? c == kDC4 : c == '\r';
  if (end) {
    if (!partial_.empty() && !overlong_) lines.push_back(partial_);
    partial_.clear();
    inFrame_ = false;
    overlong_ = false;
    return;
  }
  if (contactId || inFrame_) Append(c);
}

void ConsoleFramer::Append(char c) {
  if (overlong_) return;
  if (partial_.size() >= kMaxLine) {
    overlong_ = true;
    partial_.clear();
    return;
  }
  partial_ += c;
}

}  // namespace quell::sim
