#include "store/store_settings.h"

#include <QDir>
#include <QSettings>

namespace quell {

StoreSettings ReadStoreSettings(const std::string& workDir) {
  const QDir dir(QString::fromStdString(workDir.empty() ? "." : workDir));
  StoreSettings s;
  QString file = QStringLiteral("Events.db");
  const QString ini = dir.filePath(QStringLiteral("EventStore.ini"));
  if (QFile::exists(ini)) {
    QSettings settings(ini, QSettings::IniFormat);
    const QString path = settings.value(QStringLiteral("Store/Path")).toString().trimmed();
    if (!path.isEmpty()) file = path;
    bool ok = false;
    const int days =
        settings.value(QStringLiteral("Store/KeepDays")).toString().trimmed().toInt(&ok);
    if (ok && days >= 1) s.keepDays = days;
  }
  s.path = QFile::encodeName(QDir::cleanPath(dir.filePath(file))).toStdString();
  return s;
}

}  // namespace quell
