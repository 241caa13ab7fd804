#pragma once
// The daily trace files: "<workdir>/Trace/Trace<d>x<mm>x<yy>.txt". Each
// flush of the trace view appends one block, a "Date/Time: " header and the
// flushed lines, all CR LF terminated and written as the bytes they are
// (Windows-1251). The "Trace" directory is never created: without it the
// lines are discarded.
#include <QDateTime>
#include <string>
#include <vector>

#include "core/clock.h"

namespace quell {

class TraceFile {
 public:
  // workDir is a local 8-bit path; the clock dates each block and file.
  TraceFile(const Clock& clock, std::string workDir);

  // Appends one block with today's header. False when nothing was written
  // (no "Trace" directory, the file cannot be opened or written); the caller
  // empties its view either way.
  bool Write(const std::vector<std::string>& lines) const;

  // Usable as TraceView::SetFlusher(traceFile.Flusher()); the TraceFile
  // must outlive the view's use of it.
  auto Flusher() const {
    return [this](const std::vector<std::string>& lines) { Write(lines); };
  }

  // "Trace8x12x26.txt" for 8 December 2026.
  static std::string FileName(const QDate& day);
  // "Date/Time: 8/12/26 / 14:03:27" (without the line end).
  static std::string Header(const QDateTime& at);
  // The full path of the file for the given day.
  std::string PathFor(const QDate& day) const;

 private:
  const Clock& clock_;
  std::string workDir_;
};

}  // namespace quell
