#pragma once
// The operator's journal: a running list of single-line texts, newest on top.
// Main thread only; workers go through the journal queue instead.
#include <deque>
#include <functional>
#include <string>

namespace quell {

class Journal {
 public:
  void InsertTop(std::string text);
  void Append(std::string text);
  void Clear();
  size_t Size() const { return entries_.size(); }
  const std::deque<std::string>& Entries() const { return entries_; }

  // Observers: index 0 is the top. Used for standard output and the window.
  std::function<void(size_t index, const std::string& text)> onInsert;
  std::function<void()> onClear;

 private:
  std::deque<std::string> entries_;
};

}  // namespace quell
