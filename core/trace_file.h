#pragma once
// The daily trace files: "<workdir>/Trace/Trace<d>x<mm>x<yy>.txt". Each
// flush of the trace view appends one block, a "Date/Time: " header and the
// flushed lines, all CR LF terminated and written as the bytes they are
// (Windows-1251). The "Trace" directory is never created: without it the
// lines are discarded.
#include <QDateTime>
#include <QObject>
#include <mutex>
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

  // Like Write, but the block (dated now) is written by the event loop of
  // the thread that made this TraceFile, together with the blocks flushed
  // before it runs: a burst of flushes opens the file once. The bytes and
  // their order are Write's. Beyond kDeferredBytes waiting, or without an
  // event loop, the waiting blocks are written at once. Any thread.
  static constexpr size_t kDeferredBytes = 256 * 1024;
  void Defer(const std::vector<std::string>& lines);
  auto DeferredFlusher() {
    return [this](const std::vector<std::string>& lines) { Defer(lines); };
  }
  // Writes the waiting blocks now; also done on destruction.
  void WriteDeferred();
  ~TraceFile();

  // "Trace8x12x26.txt" for 8 December 2026.
  static std::string FileName(const QDate& day);
  // "Date/Time: 8/12/26 / 14:03:27" (without the line end).
  static std::string Header(const QDateTime& at);
  // The full path of the file for the given day.
  std::string PathFor(const QDate& day) const;

 private:
  struct Block {
    std::string path;
    std::string bytes;
  };
  Block MakeBlock(const std::vector<std::string>& lines) const;
  static bool Append(const std::string& path, const std::string& bytes);

  const Clock& clock_;
  std::string workDir_;
  std::mutex writing_;  // one writer of deferred blocks at a time, in order
  std::mutex lock_;     // pending_ and scheduled_
  std::vector<Block> pending_;
  size_t pendingBytes_ = 0;
  bool scheduled_ = false;
  QObject context_;  // the queued write goes to its thread, and dies with it
};

}  // namespace quell
