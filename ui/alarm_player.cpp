#include "ui/alarm_player.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace quell {

namespace {

const QString& Player() {
  static const QString path = QStandardPaths::findExecutable(QStringLiteral("aplay"));
  return path;
}

}  // namespace

AlarmPlayer::AlarmPlayer(std::string workDir) : workDir_(std::move(workDir)) {}

void AlarmPlayer::Play() {
  const QString file = QFile::decodeName(QByteArray::fromStdString(workDir_ + "/Alarm1.wav"));
  if (!QFileInfo(file).isFile() || Player().isEmpty()) return;
  QProcess::startDetached(Player(), {QStringLiteral("-q"), file});
}

}  // namespace quell
