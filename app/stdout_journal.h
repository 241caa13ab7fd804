#pragma once
// Every journal entry also goes to standard output as one UTF-8 line with a
// time stamp, so a headless run can be followed from its log. Lines are
// gathered and written together once the event loop has handled what is
// pending (or once a batch grows large), so a burst of entries costs one
// write rather than one per entry; the output is the same. Standard output
// is written by a thread of its own (FdWriter): a reader that stops reading
// never holds up the event loop.
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "core/second_stamp.h"

namespace quell {

class FdWriter;

class StdoutJournal {
 public:
  static constexpr size_t kBatchBytes = 64 * 1024;  // written at once beyond this

  // write receives whole lines (each ending in '\n'); standard output, on
  // its own thread, by default.
  explicit StdoutJournal(const Clock& clock, std::function<void(std::string_view)> write = {});
  // Writes what is still gathered.
  ~StdoutJournal();
  StdoutJournal(const StdoutJournal&) = delete;
  StdoutJournal& operator=(const StdoutJournal&) = delete;

  // text is Windows-1251. Without a running event loop the line is written at once.
  void Print(const std::string& text);
  // Writes the gathered lines now.
  void Flush();
  // "yyyy-MM-dd hh:mm:ss " + the entry in UTF-8, line breaks made blanks.
  static std::string Line(const QDateTime& at, const std::string& text);

 private:
  const Clock& clock_;
  std::unique_ptr<FdWriter> stdout_;  // without a write function
  std::function<void(std::string_view)> write_;
  SecondStamp stamp_;
  std::string pending_;
  QTimer flush_;
};

}  // namespace quell
