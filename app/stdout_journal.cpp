#include "app/stdout_journal.h"

#include <unistd.h>

#include <QAbstractEventDispatcher>

#include "core/fd_writer.h"

#include "core/cp1251.h"

namespace quell {

namespace {

QString StampFormat() {
  return QStringLiteral("yyyy-MM-dd hh:mm:ss ");
}

// The entry in UTF-8 after its stamp, appended to out.
void AppendWithStamp(std::string& out, std::string_view stamp, std::string_view text) {
  out += stamp;
  const size_t start = out.size();
  AppendCp1251AsUtf8(out, text);
  // One entry is one output line whatever it carries. Most carry no line
  // break, which two fast scans of the entry tell.
  if (text.find('\r') == std::string_view::npos && text.find('\n') == std::string_view::npos)
    return;
  for (size_t i = start; i < out.size(); ++i)
    if (out[i] == '\r' || out[i] == '\n') out[i] = ' ';
}

}  // namespace

StdoutJournal::StdoutJournal(const Clock& clock, std::function<void(std::string_view)> write)
    : clock_(clock), write_(std::move(write)), stamp_(StampFormat()) {
  if (!write_) {
    stdout_ = std::make_unique<FdWriter>(STDOUT_FILENO);
    write_ = [w = stdout_.get()](std::string_view bytes) { w->Write(bytes); };
  }
  // A zero interval fires once the events already waiting have been handled.
  flush_.setSingleShot(true);
  flush_.setInterval(0);
  QObject::connect(&flush_, &QTimer::timeout, &flush_, [this] { Flush(); });
}

StdoutJournal::~StdoutJournal() {
  Flush();
}

std::string StdoutJournal::Line(const QDateTime& at, const std::string& text) {
  std::string line;
  AppendWithStamp(line, at.toString(StampFormat()).toStdString(), text);
  return line;
}

void StdoutJournal::Print(const std::string& text) {
  AppendWithStamp(pending_, stamp_.Text(clock_.Now()), text);
  pending_ += '\n';
  if (pending_.size() >= kBatchBytes || !QAbstractEventDispatcher::instance()) {
    Flush();
    return;
  }
  if (!flush_.isActive()) flush_.start();
}

void StdoutJournal::Flush() {
  flush_.stop();
  if (pending_.empty()) return;
  std::string bytes;
  bytes.swap(pending_);
  write_(bytes);
}

}  // namespace quell
