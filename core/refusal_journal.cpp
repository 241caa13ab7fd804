#include "core/refusal_journal.h"

namespace quell {

bool RefusalJournal::Note(const std::string& account, std::string_view reason,
                          const std::string& text) {
  const uint32_t now = clock_.TickCount();
  std::string key;
  key.reserve(account.size() + 1 + reason.size());
  key.append(account).push_back('\0');
  key.append(reason);

  const auto known = lastWritten_.find(key);
  if (known != lastWritten_.end()) {
    if (TicksSince(now, known->second) < kWindowMs) return false;
    known->second = now;
  } else {
    if (lastWritten_.size() >= kMaxPairs) ForgetExpired(now);
    if (lastWritten_.size() >= kMaxPairs) {
      if (unwritten_++ == 0) firstUnwritten_ = now;
      return false;
    }
    lastWritten_.emplace(std::move(key), now);
  }
  if (unwritten_ > 0 && TicksSince(now, firstUnwritten_) >= kWindowMs) {
    journal_.InsertTop("Refused frames: " + std::to_string(unwritten_) +
                       " more refusals not journalled (too many accounts within a minute)");
    unwritten_ = 0;
  }
  journal_.InsertTop(text);
  return true;
}

void RefusalJournal::ForgetExpired(uint32_t now) {
  std::erase_if(lastWritten_,
                [&](const auto& entry) { return TicksSince(now, entry.second) >= kWindowMs; });
}

}  // namespace quell
