#pragma once
// Journal lines about refused input (a frame answered NAK, DUH or NACK), at
// most one a minute for each pair of account and reason, so that a panel
// repeating a bad frame every few seconds cannot flood the journal.
//
// Memory is bounded: at most kMaxPairs pairs are remembered. When the table
// is full of pairs journalled within the minute, further new pairs are not
// journalled but counted, and the next line written after the minute is
// preceded by one count line.
//
//   refusals.Note(account, "key", "DC-09: NAK to account 123F: the frame does not decrypt");
//
// Main thread.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/clock.h"
#include "core/journal.h"

namespace quell {

class RefusalJournal {
 public:
  static constexpr uint32_t kWindowMs = 60'000;
  static constexpr size_t kMaxPairs = 1024;

  RefusalJournal(const Clock& clock, Journal& journal) : clock_(clock), journal_(journal) {}

  // Puts text at the top of the journal unless a line for the same account
  // and reason was put there less than a minute ago. True when written.
  bool Note(const std::string& account, std::string_view reason, const std::string& text);

  // Pairs remembered now (for tests of the bound).
  size_t Remembered() const { return lastWritten_.size(); }

 private:
  void ForgetExpired(uint32_t now);

  const Clock& clock_;
  Journal& journal_;
  std::unordered_map<std::string, uint32_t> lastWritten_;  // account '\0' reason -> tick
  // Lines left out because the table was full, since firstUnwritten_.
  int unwritten_ = 0;
  uint32_t firstUnwritten_ = 0;
};

}  // namespace quell
