#pragma once
// An ordered list of texts that several threads append to and the main
// thread drains. Every operation holds the list's own lock.
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quell {

class SharedTextList {
 public:
  void Append(std::string text);
  void PutHead(std::string text);  // insert at index 0
  std::optional<std::string> Front() const;
  std::optional<std::string> TakeFirst();
  void RemoveFirst();
  size_t Size() const;
  bool Empty() const { return Size() == 0; }
  void Clear();
  std::vector<std::string> Snapshot() const;

 private:
  mutable std::mutex lock_;
  std::deque<std::string> items_;
};

}  // namespace quell
