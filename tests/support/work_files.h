#pragma once
// Files of a test's working directory, written byte for byte.
#include <QFile>
#include <QTemporaryDir>
#include <string>

namespace quell::test {

inline bool WriteWorkFile(const QTemporaryDir& dir, const char* name, const std::string& bytes) {
  QFile f(dir.filePath(QString::fromLatin1(name)));
  return f.open(QIODevice::WriteOnly) &&
         f.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

}  // namespace quell::test
