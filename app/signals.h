#pragma once
// SIGTERM and SIGINT as a Qt signal on the GUI thread: the handler only
// writes a byte to a pipe that the event loop watches.
#include <QObject>

class QSocketNotifier;

namespace quell {

// Writing to a pipe whose reader has gone (the journal on standard output
// piped into a log reader that ended) then fails instead of ending the
// gateway with SIGPIPE.
void IgnoreBrokenPipe();

class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  // One instance per process; installs the handlers.
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;

 Q_SIGNALS:
  void terminateRequested();

 private:
  void OnReadable();

  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace quell
