#include "lines/line_list.h"

namespace quell {

LineEntry& LineList::Add(std::string caption, std::unique_ptr<TLineGSM> line) {
  auto entry = std::make_unique<LineEntry>();
  entry->Caption = std::move(caption);
  entry->Line = std::move(line);
  entries_.push_back(std::move(entry));
  return *entries_.back();
}

std::unique_ptr<LineEntry> LineList::Remove(size_t i) {
  if (i >= entries_.size()) return nullptr;
  auto entry = std::move(entries_[i]);
  entries_.erase(entries_.begin() + long(i));
  return entry;
}

void LineList::Move(size_t from, size_t to) {
  if (from >= entries_.size() || to >= entries_.size() || from == to) return;
  auto entry = std::move(entries_[from]);
  entries_.erase(entries_.begin() + long(from));
  entries_.insert(entries_.begin() + long(to), std::move(entry));
}

TLineGSM* LineList::FindByName(const std::string& name) const {
  for (const auto& e : entries_)
    if (e->Line && e->Line->LineName == name) return e->Line.get();
  return nullptr;
}

LineEntry* LineList::FindByCaption(const std::string& caption) const {
  for (const auto& e : entries_)
    if (e->Caption == caption) return e.get();
  return nullptr;
}

}  // namespace quell
