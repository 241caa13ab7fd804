#include "core/trace_view.h"

namespace quell {

void TraceView::Append(std::string line) {
  std::function<void(const std::string&)> observer;
  {
    std::lock_guard g(lock_);
    lines_.push_back(line);
    if (lines_.size() > kFlushAbove) {
      if (flusher_) flusher_(lines_);
      lines_.clear();
    }
    observer = observer_;
  }
  if (observer) observer(line);
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

void TraceView::SetObserver(std::function<void(const std::string&)> observer) {
  std::lock_guard g(lock_);
  observer_ = std::move(observer);
}

}  // namespace quell
