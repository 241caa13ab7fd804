#include "app/stdout_journal.h"

#include <cstdio>

#include "core/cp1251.h"

namespace quell {

std::string StdoutJournal::Line(const QDateTime& at, const std::string& text) {
  std::string line = at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ")).toStdString();
  line += Cp1251ToUtf8(text);
  // One entry is one output line whatever it carries.
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  return line;
}

void StdoutJournal::Print(const std::string& text) const {
  const std::string line = Line(clock_.Now(), text);
  std::fprintf(stdout, "%s\n", line.c_str());
  std::fflush(stdout);
}

}  // namespace quell
