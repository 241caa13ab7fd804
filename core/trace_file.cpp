#include "core/trace_file.h"

#include <fcntl.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <utility>

namespace quell {

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr qint64 kWritebackBytes = 256 << 10;

std::string TwoDigits(int n) {
  std::string s = std::to_string(n % 100);
  return s.size() < 2 ? "0" + s : s;
}

std::string TraceDir(const std::string& workDir) {
  return workDir + "/Trace";
}

}  // namespace

TraceFile::TraceFile(const Clock& clock, std::string workDir)
    : clock_(clock), workDir_(std::move(workDir)) {}

std::string TraceFile::FileName(const QDate& day) {
  return "Trace" + std::to_string(day.day()) + "x" + TwoDigits(day.month()) + "x" +
         TwoDigits(day.year()) + ".txt";
}

std::string TraceFile::Header(const QDateTime& at) {
  const QDate d = at.date();
  const QTime t = at.time();
  return "Date/Time: " + std::to_string(d.day()) + "/" + TwoDigits(d.month()) + "/" +
         TwoDigits(d.year()) + " / " + TwoDigits(t.hour()) + ":" + TwoDigits(t.minute()) + ":" +
         TwoDigits(t.second());
}

std::string TraceFile::PathFor(const QDate& day) const {
  return TraceDir(workDir_) + "/" + FileName(day);
}

bool TraceFile::Write(const std::vector<std::string>& lines) const {
  const Block block = MakeBlock(lines);
  return !block.path.empty() && Append(block.path, block.bytes);
}

TraceFile::Block TraceFile::MakeBlock(const std::vector<std::string>& lines) const {
  if (!QFileInfo(QFile::decodeName(QByteArray::fromStdString(TraceDir(workDir_)))).isDir())
    return {};

  // One date for the file name and the header, so a block written just
  // after midnight is wholly in the new day's file.
  const QDateTime now = clock_.Now();
  std::string block = Header(now) + kLineEnd;
  for (const std::string& line : lines) {
    block += line;
    block += kLineEnd;
  }
  return {PathFor(now.date()), std::move(block)};
}

bool TraceFile::Append(const std::string& path, const std::string& bytes) {
  QFile file(QFile::decodeName(QByteArray::fromStdString(path)));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
  const qint64 at = file.size();
  const qint64 written = file.write(bytes.data(), qint64(bytes.size()));
  file.flush();
  // A busy gateway writes megabytes of trace a second. Left to the kernel,
  // they reach the disk in one burst half a minute later, and the event
  // store's syncs wait behind it (for up to 100 ms); every 256 KB is sent
  // on its way at once instead.
  if (written > 0 && (at + written) / kWritebackBytes != at / kWritebackBytes)
    ::sync_file_range(file.handle(), 0, 0, SYNC_FILE_RANGE_WRITE);
  file.close();
  return written == qint64(bytes.size()) && file.error() == QFileDevice::NoError;
}

TraceFile::~TraceFile() {
  {
    std::lock_guard g(lock_);
    stop_ = true;
  }
  wake_.notify_one();
  if (writer_.joinable()) writer_.join();
  WriteDeferred();
}

void TraceFile::Defer(const std::vector<std::string>& lines) {
  Block block = MakeBlock(lines);
  if (block.path.empty()) return;
  {
    std::lock_guard g(lock_);
    if (pendingBytes_ + block.bytes.size() > kMostWaitingBytes) {
      leftOut_ += lines.size();
      leftOutToSay_ += lines.size();
      return;
    }
    // The writer is woken by the first block of a burst (it then gathers
    // the burst) and once a write's worth waits: one wake-up and one open
    // of the file per burst, not per block.
    const bool first = pending_.empty();
    const bool full =
        pendingBytes_ < kWriteBytes && pendingBytes_ + block.bytes.size() >= kWriteBytes;
    pendingBytes_ += block.bytes.size();
    pending_.push_back(std::move(block));
    if (!writer_.joinable()) writer_ = std::thread([this] { RunWriter(); });
    if (!first && !full) return;
  }
  wake_.notify_one();
}

uint64_t TraceFile::LeftOutLines() const {
  std::lock_guard g(lock_);
  return leftOut_;
}

void TraceFile::RunWriter() {
  std::unique_lock g(lock_);
  while (!stop_) {
    wake_.wait(g, [this] { return stop_ || !pending_.empty(); });
    wake_.wait_for(g, std::chrono::milliseconds(kGatherMs),
                   [this] { return stop_ || pendingBytes_ >= kWriteBytes; });
    if (stop_) break;
    g.unlock();
    WriteDeferred();
    g.lock();
  }
}

void TraceFile::WriteDeferred() {
  std::lock_guard w(writing_);
  std::vector<Block> blocks;
  uint64_t leftOut = 0;
  {
    std::lock_guard g(lock_);
    blocks.swap(pending_);
    pendingBytes_ = 0;
    leftOut = std::exchange(leftOutToSay_, 0);
  }
  // The lines left out came after the blocks waiting now.
  if (leftOut > 0 && !blocks.empty())
    blocks.back().bytes += std::to_string(leftOut) +
                           " trace lines were left out here: the disk took them slower than "
                           "they came" +
                           kLineEnd;
  // Consecutive blocks for the same day's file go out in one write.
  for (size_t i = 0; i < blocks.size();) {
    std::string bytes = std::move(blocks[i].bytes);
    size_t j = i + 1;
    for (; j < blocks.size() && blocks[j].path == blocks[i].path; ++j) bytes += blocks[j].bytes;
    Append(blocks[i].path, bytes);
    i = j;
  }
}

}  // namespace quell
