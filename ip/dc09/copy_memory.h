#pragma once
// Remembers the frames lately acknowledged for each DC-09 account, so that a
// panel's retransmission (its ACK was lost, it sends the same sequence
// again) is acknowledged again but not delivered twice. A copy is a frame
// whose key equals that of one of the last kPerAccount frames with events
// acknowledged for its account within kWindowMs. An entry whose commit is
// still running is pending: a copy then waits for that commit's outcome. An
// entry whose commit failed is forgotten: its sender was told NAK, so the
// next copy is a new frame.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quell {

// The fields that make a frame what it is: header (R, L, account), token,
// sequence and the data block up to ']' (decrypted, without pad, extended
// blocks or time stamp), as "ACCOUNT:" + 16 upper-case hex digits of their
// 64-bit FNV-1a hash (fields length-prefixed, so no two field lists hash
// the same bytes).
std::string Dc09CopyKey(std::string_view account, const std::vector<std::string_view>& fields);

class Dc09CopyMemory {
 public:
  // Panels send a retry once their ACK wait ends, a few seconds to about a
  // minute after the first try; two minutes covers every retry of one frame
  // with margin, and 16 frames cover a panel's window of frames in flight.
  static constexpr uint32_t kWindowMs = 120'000;
  static constexpr size_t kPerAccount = 16;
  // Accounts remembered at most; beyond it those heard longest ago go.
  static constexpr size_t kAccountsKept = 20'000;

  struct Entry {
    std::string key;
    uint32_t tick = 0;     // when the first copy arrived
    bool pending = false;  // its commit still runs
    // Run with the commit's outcome, for copies that came while pending.
    std::vector<std::function<void(bool stored)>> waiters;
  };

  // The entry the key names for its account, still inside the window at
  // now; null when the frame is new.
  std::shared_ptr<Entry> Find(std::string_view key, uint32_t now);
  // Remembers a new frame, pending until Settle.
  std::shared_ptr<Entry> Add(std::string key, uint32_t now, bool pending);
  // The commit's outcome: the entry stays (stored) or is forgotten; the
  // waiting copies learn the outcome.
  void Settle(const std::shared_ptr<Entry>& entry, bool stored);

  size_t Accounts() const { return accounts_.size(); }

 private:
  using Entries = std::deque<std::shared_ptr<Entry>>;
  void Trim(uint32_t now);

  // Looked up by a view of the key's account part, without a string made.
  struct ViewHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };
  std::unordered_map<std::string, Entries, ViewHash, std::equal_to<>> accounts_;  // by account
};

}  // namespace quell
