#include "sim/link_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>

namespace quell::sim {
namespace {

std::string Target(const std::string& link) {
  char buf[256];
  ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
  return n < 0 ? std::string() : std::string(buf, size_t(n));
}

TEST(LinkFile, ReplacesAnOldLinkAndRemovesItsOwn) {
  QTemporaryDir dir;
  const std::string path = dir.filePath(QStringLiteral("modem")).toStdString();
  ASSERT_EQ(::symlink("/dev/pts/old", path.c_str()), 0);
  std::string error;
  {
    LinkFile link;
    ASSERT_TRUE(link.Create(path, "/dev/pts/7", &error)) << error;
    EXPECT_EQ(Target(path), "/dev/pts/7");
  }
  EXPECT_EQ(Target(path), "");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
}

TEST(LinkFile, LeavesOtherFilesAlone) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("ComPorts.ini"));
  QFile(file).open(QIODevice::WriteOnly);
  std::string error;
  LinkFile link;
  EXPECT_FALSE(link.Create(file.toStdString(), "/dev/pts/7", &error));
  EXPECT_NE(error.find("not a symbolic link"), std::string::npos);
  EXPECT_TRUE(QFile::exists(file));

  // A link another program put in place of ours stays.
  const std::string path = dir.filePath(QStringLiteral("modem")).toStdString();
  ASSERT_TRUE(link.Create(path, "/dev/pts/7", &error)) << error;
  ::unlink(path.c_str());
  ASSERT_EQ(::symlink("/dev/pts/9", path.c_str()), 0);
  link.Remove();
  EXPECT_EQ(Target(path), "/dev/pts/9");
}

}  // namespace
}  // namespace quell::sim
