#include "core/trace_file.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

namespace quell {

namespace {

constexpr const char* kLineEnd = "\r\n";

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
  if (!QFileInfo(QFile::decodeName(QByteArray::fromStdString(TraceDir(workDir_)))).isDir())
    return false;

  // One date for the file name and the header, so a block written just
  // after midnight is wholly in the new day's file.
  const QDateTime now = clock_.Now();
  std::string block = Header(now) + kLineEnd;
  for (const std::string& line : lines) {
    block += line;
    block += kLineEnd;
  }

  QFile file(QFile::decodeName(QByteArray::fromStdString(PathFor(now.date()))));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
  const qint64 written = file.write(block.data(), qint64(block.size()));
  file.close();
  return written == qint64(block.size()) && file.error() == QFileDevice::NoError;
}

}  // namespace quell
