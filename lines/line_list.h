#pragma once
// The ordered list of lines shown in the window. Its order is the order of
// the line list file and of every pass over all lines. Main thread.
#include <memory>
#include <string>
#include <vector>

#include "lines/line.h"

namespace quell {

struct LineEntry {
  std::string Caption;  // the line name as the window shows it
  int IconIndex = -1;   // state icon (5 closed, 26 open and silent, 4 alive)
  std::unique_ptr<TLineGSM> Line;
};

class LineList {
 public:
  size_t Size() const { return entries_.size(); }
  LineEntry& At(size_t i) { return *entries_[i]; }
  const LineEntry& At(size_t i) const { return *entries_[i]; }
  LineEntry& Add(std::string caption, std::unique_ptr<TLineGSM> line);
  std::unique_ptr<LineEntry> Remove(size_t i);
  void Move(size_t from, size_t to);
  void Clear() { entries_.clear(); }

  // First line whose LineName equals name, or nullptr.
  TLineGSM* FindByName(const std::string& name) const;
  // First entry whose caption equals caption, or nullptr.
  LineEntry* FindByCaption(const std::string& caption) const;

 private:
  std::vector<std::unique_ptr<LineEntry>> entries_;
};

}  // namespace quell
