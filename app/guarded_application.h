#pragma once
// The application object with the unhandled-error hook: an exception that
// escapes an event handler is written to the trace view and the event loop
// carries on with the next event.
#include <QApplication>
#include <atomic>

#include "core/trace_view.h"

namespace quell {

class GuardedApplication : public QApplication {
  Q_OBJECT

 public:
  GuardedApplication(int& argc, char** argv);
  // Where escaped errors are written; nullptr sends them to standard error.
  void SetTrace(TraceView* trace) { trace_ = trace; }

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  void Report(const std::string& what, QObject* receiver);

  std::atomic<TraceView*> trace_{nullptr};
};

}  // namespace quell
