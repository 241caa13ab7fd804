#include "core/shared_list.h"

namespace quell {

void SharedTextList::Append(std::string text) {
  std::lock_guard g(lock_);
  items_.push_back(std::move(text));
}

void SharedTextList::PutHead(std::string text) {
  std::lock_guard g(lock_);
  items_.push_front(std::move(text));
}

std::optional<std::string> SharedTextList::Front() const {
  std::lock_guard g(lock_);
  if (items_.empty()) return std::nullopt;
  return items_.front();
}

std::optional<std::string> SharedTextList::TakeFirst() {
  std::lock_guard g(lock_);
  if (items_.empty()) return std::nullopt;
  std::string first = std::move(items_.front());
  items_.pop_front();
  return first;
}

void SharedTextList::RemoveFirst() {
  std::lock_guard g(lock_);
  if (!items_.empty()) items_.pop_front();
}

size_t SharedTextList::Size() const {
  std::lock_guard g(lock_);
  return items_.size();
}

void SharedTextList::Clear() {
  std::lock_guard g(lock_);
  items_.clear();
}

std::vector<std::string> SharedTextList::Snapshot() const {
  std::lock_guard g(lock_);
  return {items_.begin(), items_.end()};
}

}  // namespace quell
