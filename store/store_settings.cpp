#include "store/store_settings.h"

#include <libpq-fe.h>

#include <QDir>
#include <QFile>
#include <QSysInfo>

namespace quell {
namespace {

// libpq's own reason for refusing a connection string; empty when accepted.
std::string ConninfoProblem(const std::string& conninfo) {
  char* message = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &message);
  std::string problem;
  if (!options) {
    problem = message ? message : "cannot be parsed";
    while (!problem.empty() && (problem.back() == '\n' || problem.back() == ' '))
      problem.pop_back();
  }
  PQconninfoFree(options);
  PQfreemem(message);
  return problem;
}

}  // namespace

bool ValidNodeName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (const char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '.' || c == '-';
    if (!ok) return false;
  }
  return true;
}

StoreSettings ReadStoreSettings(const std::string& workDir) {
  const QDir dir(QString::fromStdString(workDir.empty() ? "." : workDir));
  StoreSettings s;
  QString file = QStringLiteral("Events.db");
  QString backend, node;
  bool nodeGiven = false;
  QFile ini(dir.filePath(QStringLiteral("EventStore.ini")));
  if (ini.open(QIODevice::ReadOnly)) {
    s.fromFile = true;
    // Plain "key=value" lines; only the [Store] section counts.
    bool inStore = false;
    for (const QByteArray& raw : ini.readAll().split('\n')) {
      const QString line = QString::fromLocal8Bit(raw).trimmed();
      if (line.startsWith(u'[')) {
        inStore = line.compare(QStringLiteral("[Store]"), Qt::CaseInsensitive) == 0;
        continue;
      }
      const qsizetype eq = line.indexOf(u'=');
      if (!inStore || eq < 0) continue;
      const QString key = line.left(eq).trimmed();
      const QString value = line.mid(eq + 1).trimmed();
      const auto is = [&](const char* name) {
        return key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
      };
      if (is("Path") && !value.isEmpty()) {
        file = value;
      } else if (is("KeepDays")) {
        bool ok = false;
        const int days = value.toInt(&ok);
        s.keepDays = ok && days >= 1 ? days : StoreSettings::kDefaultKeepDays;
      } else if (is("Backend")) {
        backend = value;
      } else if (is("Conninfo")) {
        s.conninfo = value.toStdString();
      } else if (is("Node")) {
        node = value;
        nodeGiven = true;
      }
    }
  }
  s.path = QFile::encodeName(QDir::cleanPath(dir.filePath(file))).toStdString();
  if (backend.isEmpty() || backend.compare(QStringLiteral("sqlite"), Qt::CaseInsensitive) == 0)
    return s;
  if (backend.compare(QStringLiteral("postgresql"), Qt::CaseInsensitive) != 0) {
    s.problem = "unknown Backend=" + backend.toStdString();
    return s;
  }
  s.backend = StoreBackend::Postgresql;
  s.node = (nodeGiven ? node : QSysInfo::machineHostName()).toStdString();
  if (const std::string why = ConninfoProblem(s.conninfo); !why.empty())
    s.problem = "Conninfo refused: " + why;
  else if (!ValidNodeName(s.node))
    s.problem = "bad Node=" + s.node + " (letters, digits, _ . -, at most 64)";
  return s;
}

}  // namespace quell
