#include "core/fd_writer.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace quell {
namespace {

// At most this much a write: a pipe that polls writable takes it whole,
// so no write blocks.
constexpr size_t kChunk = PIPE_BUF;
constexpr int kPollMs = 100;

}  // namespace

FdWriter::FdWriter(int fd) : fd_(fd), thread_([this] { Run(); }) {}

FdWriter::~FdWriter() {
  {
    std::lock_guard g(lock_);
    stop_ = true;
    stopBy_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopWaitMs);
  }
  wake_.notify_all();
  thread_.join();
}

void FdWriter::Write(std::string_view bytes) {
  {
    std::lock_guard g(lock_);
    if (queue_.size() - head_ + bytes.size() > kMaxQueuedBytes) {
      droppedLines_ += size_t(std::count(bytes.begin(), bytes.end(), '\n'));
      return;
    }
    queue_.append(bytes);
  }
  wake_.notify_one();
}

void FdWriter::Run() {
  std::unique_lock g(lock_);
  for (;;) {
    wake_.wait(g, [this] { return stop_ || head_ < queue_.size() || droppedLines_; });
    if (head_ == queue_.size() && droppedLines_) {
      queue_ += std::to_string(droppedLines_) +
                " journal lines were not written here: standard output was not read\n";
      droppedLines_ = 0;
    }
    if (head_ == queue_.size()) {
      if (stop_) return;
      continue;
    }
    if (stop_ && std::chrono::steady_clock::now() >= stopBy_) return;
    const std::string chunk = queue_.substr(head_, kChunk);
    g.unlock();
    pollfd p{fd_, POLLOUT, 0};
    const int ready = ::poll(&p, 1, kPollMs);
    const ssize_t n = ready > 0 ? ::write(fd_, chunk.data(), chunk.size()) : 0;
    const int error = errno;
    g.lock();
    if (n > 0) {
      head_ += size_t(n);
    } else if (ready > 0 && n < 0 && error != EAGAIN && error != EINTR) {
      // The output is gone (closed, an error): nothing waits for it.
      head_ = queue_.size();
    }
    if (head_ == queue_.size() || head_ > kMaxQueuedBytes) {
      queue_.erase(0, head_);
      head_ = 0;
    }
  }
}

}  // namespace quell
