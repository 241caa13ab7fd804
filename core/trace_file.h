#pragma once
// The daily trace files: "<workdir>/Trace/Trace<d>x<mm>x<yy>.txt". Each
// flush of the trace view appends one block, a "Date/Time: " header and the
// flushed lines, all CR LF terminated and written as the bytes they are
// (Windows-1251). The "Trace" directory is never created: without it the
// lines are discarded.
#include <QDateTime>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
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

  // Like Write, but the block (dated now) is written by a thread of the
  // TraceFile's own, together with the blocks flushed before it runs: the
  // caller never waits for the disk (a file that grows can wait for the file
  // system's journal, tens of milliseconds after a flood). The bytes and
  // their order are Write's. Past kMostWaitingBytes waiting, blocks are not
  // kept; the next block written says how many lines were left out. Any
  // thread.
  static constexpr size_t kMostWaitingBytes = 16 << 20;
  // The writer gathers a burst for at most kGatherMs, or until kWriteBytes wait.
  static constexpr int kGatherMs = 20;
  static constexpr size_t kWriteBytes = 256 << 10;
  void Defer(const std::vector<std::string>& lines);
  auto DeferredFlusher() {
    return [this](const std::vector<std::string>& lines) { Defer(lines); };
  }
  // Writes the waiting blocks now, on the calling thread; also done on
  // destruction, after the writer has stopped.
  void WriteDeferred();
  // Lines of blocks that were not kept since the start.
  uint64_t LeftOutLines() const;
  // Holds the writer while the lock lives (tests: blocks pile up).
  std::unique_lock<std::mutex> HoldWriter() { return std::unique_lock(writing_); }
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
  void RunWriter();

  std::mutex writing_;       // one writer of deferred blocks at a time, in order
  mutable std::mutex lock_;  // what follows
  std::condition_variable wake_;
  std::vector<Block> pending_;
  size_t pendingBytes_ = 0;
  uint64_t leftOut_ = 0;       // lines not kept since the start
  uint64_t leftOutToSay_ = 0;  // of them, not yet said in the file
  bool stop_ = false;
  std::thread writer_;  // started by the first Defer
};

}  // namespace quell
