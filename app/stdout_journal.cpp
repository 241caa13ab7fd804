#include "app/stdout_journal.h"

#include <cstdio>

#include "core/cp1251.h"

namespace quell {

void StdoutJournal::Print(const std::string& text) const {
  const QByteArray stamp = clock_.Now().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toLatin1();
  std::string line = Cp1251ToUtf8(text);
  // One entry is one output line whatever it carries.
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  std::fprintf(stdout, "%s %s\n", stamp.constData(), line.c_str());
  std::fflush(stdout);
}

}  // namespace quell
