#include "app/quiet_start.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <QtGlobal>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace quell {
namespace {

bool PrivateDirOfOurs(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

QtMessageHandler previousHandler = nullptr;

void FilterMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtWarningMsg &&
      text == QLatin1String("This plugin does not support propagateSizeHints()"))
    return;
  if (previousHandler) {
    previousHandler(type, context, text);
    return;
  }
  // Qt hands back its default handler; this is only a fallback to the same output.
  std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, text).toLocal8Bit().constData());
}

}  // namespace

std::string UsePrivateRuntimeDir(const std::string& base) {
  if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return {};
  std::string dir = base + "/quell-runtime-" + std::to_string(geteuid());
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) dir.clear();
  if (dir.empty() || !PrivateDirOfOurs(dir)) {
    // Someone else's directory, a link or loose permissions: never use it.
    std::string pattern = base + "/quell-runtime-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) return {};
    dir = name.data();
  }
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir));
  return dir;
}

void DropOffscreenSizeHintWarning() {
  previousHandler = qInstallMessageHandler(FilterMessage);
}

}  // namespace quell
