#include "store/store_settings.h"

#include <QDir>
#include <QFile>

namespace quell {

StoreSettings ReadStoreSettings(const std::string& workDir) {
  const QDir dir(QString::fromStdString(workDir.empty() ? "." : workDir));
  StoreSettings s;
  QString file = QStringLiteral("Events.db");
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
      if (key.compare(QStringLiteral("Path"), Qt::CaseInsensitive) == 0 && !value.isEmpty()) {
        file = value;
      } else if (key.compare(QStringLiteral("KeepDays"), Qt::CaseInsensitive) == 0) {
        bool ok = false;
        const int days = value.toInt(&ok);
        s.keepDays = ok && days >= 1 ? days : StoreSettings::kDefaultKeepDays;
      }
    }
  }
  s.path = QFile::encodeName(QDir::cleanPath(dir.filePath(file))).toStdString();
  return s;
}

}  // namespace quell
