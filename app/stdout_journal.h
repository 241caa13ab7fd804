#pragma once
// Every journal entry also goes to standard output as one UTF-8 line with a
// time stamp, so a headless run can be followed from its log.
#include <string>

#include "core/clock.h"

namespace quell {

class StdoutJournal {
 public:
  explicit StdoutJournal(const Clock& clock) : clock_(clock) {}
  // text is Windows-1251; the line is flushed at once.
  void Print(const std::string& text) const;
  // "yyyy-MM-dd hh:mm:ss " + the entry in UTF-8, line breaks made blanks.
  static std::string Line(const QDateTime& at, const std::string& text);

 private:
  const Clock& clock_;
};

}  // namespace quell
