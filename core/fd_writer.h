#pragma once
// Writes to a file descriptor (standard output) on a thread of its own, so
// a reader that stops reading (a paused terminal, a pipe nobody drains)
// never holds up the event loop and the replies to panels. Beyond
// kMaxQueuedBytes waiting, further lines are dropped and counted; once the
// reader has taken what waited, one line says how many were dropped.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace quell {

class FdWriter {
 public:
  static constexpr size_t kMaxQueuedBytes = 4 << 20;
  // On stopping, what still waits is written for at most this long.
  static constexpr int kStopWaitMs = 1000;

  explicit FdWriter(int fd);
  ~FdWriter();
  FdWriter(const FdWriter&) = delete;
  FdWriter& operator=(const FdWriter&) = delete;

  // bytes are whole lines, each ending in '\n'.
  void Write(std::string_view bytes);

 private:
  void Run();

  const int fd_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::string queue_;  // from head_ on: still to write
  size_t head_ = 0;
  size_t droppedLines_ = 0;
  bool stop_ = false;
  std::chrono::steady_clock::time_point stopBy_;
  std::thread thread_;
};

}  // namespace quell
