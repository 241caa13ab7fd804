#include "app/guarded_application.h"

#include <cstdio>
#include <exception>

#include "ui/error_report.h"

namespace quell {

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    Report(e.what(), receiver);
  } catch (...) {
    Report("unknown error", receiver);
  }
  return false;
}

void GuardedApplication::Report(const std::string& what, QObject* receiver) {
  const std::vector<std::string> lines = EscapedErrorLines(what, receiver);
  TraceView* trace = trace_.load();
  for (const std::string& line : lines) {
    if (trace)
      trace->Append(line);
    else
      std::fprintf(stderr, "%s\n", line.c_str());
  }
}

}  // namespace quell
