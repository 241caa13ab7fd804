#include "ui/error_report.h"

#include <QTimer>

#include "core/cp1251.h"

namespace quell {

std::vector<std::string> EscapedErrorLines(const std::string& what, const QObject* receiver) {
  std::vector<std::string> lines{"Exception: " + what};
  if (qobject_cast<const QTimer*>(receiver)) {
    lines.push_back("TTimer");
    lines.push_back(ToCp1251(receiver->objectName()));
  }
  return lines;
}

}  // namespace quell
