#include "core/journal.h"

namespace quell {

void Journal::InsertTop(std::string text) {
  entries_.push_front(std::move(text));
  if (onInsert) onInsert(0, entries_.front());
}

void Journal::Append(std::string text) {
  entries_.push_back(std::move(text));
  if (onInsert) onInsert(entries_.size() - 1, entries_.back());
}

void Journal::Clear() {
  entries_.clear();
  if (onClear) onClear();
}

}  // namespace quell
