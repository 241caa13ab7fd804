// EventStore.ini: the events file's path and how long the history is kept.
#include "store/store_settings.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace quell {
namespace {

TEST(StoreSettingsTest, PathAndKeepDaysWithDefaultsForMissingOrBadValues) {
  QTemporaryDir dir;
  const std::string wd = dir.path().toStdString();
  EXPECT_EQ(ReadStoreSettings(wd).path, wd + "/Events.db");  // no file
  EXPECT_EQ(ReadStoreSettings(wd).keepDays, 365);
  const struct {
    const char* ini;
    std::string path;
    int keepDays;
  } cases[] = {
      {"[Store]\r\nPath=history/ev.db\r\nKeepDays=30\r\n", wd + "/history/ev.db", 30},
      {"[Store]\nKeepDays=1\n", wd + "/Events.db", 1},  // the smallest allowed
      {"[Store]\nKeepDays=0\n", wd + "/Events.db", 365},
      {"[Store]\nKeepDays=ten\n", wd + "/Events.db", 365},
      {"[Other]\nKeepDays=30\n", wd + "/Events.db", 365},
  };
  for (const auto& c : cases) {
    QFile f(dir.filePath(QStringLiteral("EventStore.ini")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(c.ini);
    f.close();
    const StoreSettings s = ReadStoreSettings(wd);
    EXPECT_EQ(s.path, c.path) << c.ini;
    EXPECT_EQ(s.keepDays, c.keepDays) << c.ini;
  }
}

}  // namespace
}  // namespace quell
