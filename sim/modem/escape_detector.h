#pragma once
// The escape from data mode to command mode: "+++" counts only with a guard
// time, at least kGuardMs without data before the first "+", the three "+"
// with no other byte between, and kGuardMs of silence after the third. The
// "+" bytes of a possible escape are held back; when the sequence breaks
// they are data after all and are released ahead of the byte that broke it.
#include <cstdint>
#include <string>
#include <string_view>

namespace quell::sim {

class EscapeDetector {
 public:
  static constexpr uint32_t kGuardMs = 1000;

  // Data mode starts at now: the silence before an escape counts from here.
  void Reset(uint32_t now);
  // Bytes from the gateway at now; returns the ones that are data.
  std::string Feed(std::string_view bytes, uint32_t now);
  // "+++" is held and kGuardMs of silence have followed it.
  bool EscapeDue(uint32_t now) const;
  // One or two "+" held with kGuardMs of silence after: no escape can follow
  // (the third "+" would need no gap), so they are data; takes them.
  std::string TakeStale(uint32_t now);
  // Some "+" are held.
  bool Holding() const { return pluses_ > 0; }

 private:
  uint32_t lastByteAt_ = 0;
  int pluses_ = 0;
};

}  // namespace quell::sim
