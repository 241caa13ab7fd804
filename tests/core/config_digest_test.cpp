// The configuration digest: the same files give the same digest, and every
// change a station could make to them gives another.
#include "core/config/config_digest.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace quell {
namespace {

class ConfigDigestTest : public ::testing::Test {
 protected:
  void Write(const char* name, const QByteArray& bytes) {
    QFile f(dir_.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  }
  std::string Digest() const { return ConfigDigest(dir_.path().toStdString(), names_); }

  QTemporaryDir dir_;
  const std::vector<std::string_view> names_ = {"\\A.ini", "\\B.ini"};
};

TEST_F(ConfigDigestTest, EachChangeToTheFilesChangesTheDigest) {
  const std::string none = Digest();
  ASSERT_EQ(none.size(), 32u);
  Write("A.ini", "");
  const std::string empty = Digest();
  EXPECT_NE(empty, none);  // an empty file is not a missing one

  Write("A.ini", "ab");
  Write("B.ini", "c");
  const std::string split = Digest();
  EXPECT_EQ(Digest(), split);  // read again: the same
  Write("A.ini", "a");
  Write("B.ini", "bc");
  EXPECT_NE(Digest(), split);  // the same bytes, split otherwise

  Write("A.ini", "ab");
  Write("B.ini", "d");
  EXPECT_NE(Digest(), split);  // one byte changed
  Write("B.ini", "c");
  EXPECT_EQ(Digest(), split);
  // A file not named is not part of it.
  Write("C.ini", "x");
  EXPECT_EQ(Digest(), split);
}

}  // namespace
}  // namespace quell
