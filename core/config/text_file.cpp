#include "core/config/text_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "core/text.h"

namespace quell {

namespace {
QString NativePath(const std::string& path) {
  return QString::fromStdString(path);
}
}  // namespace

std::string CurrentWorkingDirectory() {
  return Trim(QDir::currentPath().toStdString());
}

std::string ConfigPath(std::string_view workDir, std::string_view fileName) {
  while (!fileName.empty() && (fileName.front() == '\\' || fileName.front() == '/'))
    fileName.remove_prefix(1);
  std::string path(workDir);
  if (!path.empty() && path.back() != '/') path += '/';
  path.append(fileName);
  return path;
}

std::vector<std::string> SplitTextLines(std::string_view content) {
  std::vector<std::string> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < content.size()) {
    char c = content[i];
    if (c != '\r' && c != '\n') {
      ++i;
      continue;
    }
    lines.emplace_back(content.substr(start, i - start));
    ++i;
    if (c == '\r' && i < content.size() && content[i] == '\n') ++i;
    start = i;
  }
  if (start < content.size()) lines.emplace_back(content.substr(start));
  return lines;
}

std::optional<std::vector<std::string>> ReadTextLines(const std::string& path) {
  QFile file(NativePath(path));
  if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray data = file.readAll();
  if (file.error() != QFileDevice::NoError) return std::nullopt;
  return SplitTextLines(std::string_view(data.constData(), size_t(data.size())));
}

bool WriteTextLines(const std::string& path, const std::vector<std::string>& lines) {
  std::string content;
  for (const auto& line : lines) {
    content += line;
    content += "\r\n";
  }
  QSaveFile file(NativePath(path));
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (file.write(content.data(), qint64(content.size())) != qint64(content.size())) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

bool FileExists(const std::string& path) {
  return QFileInfo(NativePath(path)).isFile();
}

}  // namespace quell
