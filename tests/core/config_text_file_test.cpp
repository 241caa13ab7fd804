#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/config/text_file.h"
#include "core/cp1251.h"

namespace quell {
namespace {

using Lines = std::vector<std::string>;

std::string RawContent(const std::string& path) {
  QFile file(QString::fromStdString(path));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  return file.readAll().toStdString();
}

TEST(SplitTextLines, EveryTerminatorKindEndsALine) {
  EXPECT_EQ(SplitTextLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitTextLines("a\r\n\r\nb\r\n"), (Lines{"a", "", "b"}));
  EXPECT_EQ(SplitTextLines("a\n\rb"), (Lines{"a", "", "b"}));  // LF CR is two terminators
  EXPECT_EQ(SplitTextLines(""), Lines{});
  EXPECT_EQ(SplitTextLines("\r\n"), Lines{""});
}

TEST(ConfigPath, DropsTheLeadingBackslashOfTheName) {
  EXPECT_EQ(ConfigPath("/srv/gw", "\\ConnectionType.ini"), "/srv/gw/ConnectionType.ini");
  EXPECT_EQ(ConfigPath("/srv/gw/", "paramv"), "/srv/gw/paramv");
}

TEST(TextFile, WritesCrLfAndReadsWindows1251BytesBack) {
  QTemporaryDir dir;
  const std::string path = ConfigPath(dir.path().toStdString(), "\\lines.ini");
  const Lines lines{W("Линия ёжик"), "", "x;y;"};
  ASSERT_TRUE(WriteTextLines(path, lines));
  EXPECT_EQ(RawContent(path), "\xCB\xE8\xED\xE8\xFF \xB8\xE6\xE8\xEA\r\n\r\nx;y;\r\n");
  EXPECT_EQ(ReadTextLines(path), lines);

  ASSERT_TRUE(WriteTextLines(path, {}));  // replaces, leaving an empty file
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(ReadTextLines(path), Lines{});
}

TEST(TextFile, MissingFilesAndDirectoriesAreNotRead) {
  QTemporaryDir dir;
  const std::string base = dir.path().toStdString();
  EXPECT_EQ(ReadTextLines(ConfigPath(base, "absent")), std::nullopt);
  EXPECT_FALSE(FileExists(ConfigPath(base, "absent")));
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
  EXPECT_EQ(ReadTextLines(ConfigPath(base, "sub")), std::nullopt);
  EXPECT_FALSE(FileExists(ConfigPath(base, "sub")));
  EXPECT_FALSE(WriteTextLines(ConfigPath(base, "no/such/dir/file"), {"a"}));
}

}  // namespace
}  // namespace quell
