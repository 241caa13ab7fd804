#include "core/notice_list.h"

namespace quell {

bool NoticeList::Append(NoticeOrigin origin, std::string text) {
  std::lock_guard g(lock_);
  if (origin == NoticeOrigin::Relay) {
    if (relays_ >= kMaxRelayTexts) {
      ++dropped_;
      return false;
    }
    ++relays_;
  }
  items_.push_back({origin, std::move(text)});
  return true;
}

void NoticeList::PutHead(Notice notice) {
  std::lock_guard g(lock_);
  if (notice.origin == NoticeOrigin::Relay) ++relays_;
  items_.push_front(std::move(notice));
}

std::optional<Notice> NoticeList::TakeFirst() {
  std::lock_guard g(lock_);
  if (items_.empty()) return std::nullopt;
  Notice first = std::move(items_.front());
  items_.pop_front();
  if (first.origin == NoticeOrigin::Relay) --relays_;
  return first;
}

size_t NoticeList::Size() const {
  std::lock_guard g(lock_);
  return items_.size();
}

void NoticeList::Clear() {
  std::lock_guard g(lock_);
  items_.clear();
  relays_ = 0;
}

std::vector<std::string> NoticeList::Snapshot() const {
  std::lock_guard g(lock_);
  std::vector<std::string> texts;
  texts.reserve(items_.size());
  for (const Notice& n : items_) texts.push_back(n.text);
  return texts;
}

std::vector<Notice> NoticeList::Entries() const {
  std::lock_guard g(lock_);
  return {items_.begin(), items_.end()};
}

size_t NoticeList::TakeDroppedCount() {
  std::lock_guard g(lock_);
  const size_t n = dropped_;
  dropped_ = 0;
  return n;
}

}  // namespace quell
