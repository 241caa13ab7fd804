#include "core/trace_view.h"

namespace quell {

void TraceView::Append(std::string line) {
  // The observer is shared, not copied: a copy of a function object that
  // holds a shared pointer allocates, at every line of a busy gateway.
  std::shared_ptr<const Observer> observer;
  {
    std::lock_guard g(lock_);
    observer = observer_;
    if (observer)
      lines_.push_back(line);
    else
      lines_.push_back(std::move(line));
    if (lines_.size() > kFlushAbove) {
      if (flusher_) flusher_(lines_);
      lines_.clear();
    }
  }
  if (observer) (*observer)(line);
}

void TraceView::FlushAll() {
  std::lock_guard g(lock_);
  if (lines_.empty()) return;
  if (flusher_) flusher_(lines_);
  lines_.clear();
}

std::vector<std::string> TraceView::Lines() const {
  std::lock_guard g(lock_);
  return lines_;
}

size_t TraceView::Size() const {
  std::lock_guard g(lock_);
  return lines_.size();
}

void TraceView::SetFlusher(std::function<void(const std::vector<std::string>&)> flusher) {
  std::lock_guard g(lock_);
  flusher_ = std::move(flusher);
}

void TraceView::SetObserver(Observer observer) {
  std::lock_guard g(lock_);
  observer_ = observer ? std::make_shared<const Observer>(std::move(observer)) : nullptr;
}

}  // namespace quell
