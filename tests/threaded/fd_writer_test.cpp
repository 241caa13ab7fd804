// Standard output on its own thread: a pipe nobody reads never holds up the
// caller; what does not fit the queue is dropped, counted and said once the
// reader has taken the rest; every line that fits arrives whole, in order;
// a writer whose pipe is never read still stops.
#include "core/fd_writer.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <string>

namespace quell {
namespace {

constexpr const char* kDropped =
    " journal lines were not written here: standard output was not read";

TEST(FdWriter, APipeNobodyReadsHoldsNothingUpAndTheDroppedLinesAreCounted) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const size_t lines = FdWriter::kMaxQueuedBytes / 1024 + 100;  // past the bound
  std::string got;
  {
    FdWriter writer(fds[1]);
    // Nobody reads meanwhile: each call returns at once all the same.
    for (size_t i = 0; i < lines; ++i) {
      const std::string n = std::to_string(i);
      writer.Write(n + std::string(1023 - n.size(), 'y') + '\n');
    }
    // Read until the count of the dropped lines has come.
    char buffer[65536];
    while (got.find(kDropped) == std::string::npos) {
      pollfd p{fds[0], POLLIN, 0};
      ASSERT_GT(::poll(&p, 1, 10000), 0) << "nothing more came";
      const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
      ASSERT_GT(n, 0);
      got.append(buffer, size_t(n));
    }
  }
  ::close(fds[1]);
  ::close(fds[0]);
  size_t number = 0, at = 0;
  std::string last;
  while (at < got.size()) {
    const size_t end = got.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    const std::string text = got.substr(at, end - at);
    at = end + 1;
    if (text.find(kDropped) != std::string::npos) {
      last = text;
      break;
    }
    ASSERT_EQ(text.size(), 1023u);
    const std::string n = std::to_string(number);
    EXPECT_EQ(text.substr(0, n.size()), n);
    EXPECT_EQ(text[n.size()], 'y');
    ++number;
  }
  EXPECT_EQ(at, got.size());  // the count is the last thing written
  EXPECT_EQ(last, std::to_string(lines - number) + kDropped);
  // The whole queue fitted (and what the pipe took while nobody read).
  EXPECT_GE(number, FdWriter::kMaxQueuedBytes / 1024);
  EXPECT_LT(number, lines);
}

TEST(FdWriter, AWriterWhosePipeIsNeverReadStillStops) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  {
    FdWriter writer(fds[1]);
    writer.Write(std::string(1 << 20, 'z') + '\n');
  }  // gives up after its stop wait instead of waiting for a reader
  ::close(fds[1]);
  ::close(fds[0]);
}

}  // namespace
}  // namespace quell
