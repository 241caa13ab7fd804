#include "sim/modem/escape_detector.h"

#include <utility>

namespace quell::sim {

void EscapeDetector::Reset(uint32_t now) {
  lastByteAt_ = now;
  pluses_ = 0;
}

std::string EscapeDetector::Feed(std::string_view bytes, uint32_t now) {
  std::string data = TakeStale(now);
  for (char c : bytes) {
    const bool quietBefore = now - lastByteAt_ >= kGuardMs;
    if (c == '+' && pluses_ < 3 && (pluses_ > 0 || quietBefore)) {
      ++pluses_;
    } else {
      data.append(size_t(pluses_), '+');
      pluses_ = 0;
      data += c;
    }
    lastByteAt_ = now;
  }
  return data;
}

bool EscapeDetector::EscapeDue(uint32_t now) const {
  return pluses_ == 3 && now - lastByteAt_ >= kGuardMs;
}

std::string EscapeDetector::TakeStale(uint32_t now) {
  if (pluses_ == 0 || pluses_ == 3 || now - lastByteAt_ < kGuardMs) return {};
  return std::string(size_t(std::exchange(pluses_, 0)), '+');
}

}  // namespace quell::sim
