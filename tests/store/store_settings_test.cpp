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

// The server's settings: a bad one is reported, never replaced by the
// events file.
TEST(StoreSettingsTest, BackendConninfoAndNodeWithTheirProblems) {
  QTemporaryDir dir;
  const std::string wd = dir.path().toStdString();
  const auto read = [&](const char* ini) {
    QFile f(dir.filePath(QStringLiteral("EventStore.ini")));
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(ini);
    f.close();
    return ReadStoreSettings(wd);
  };
  StoreSettings s = read("[Store]\nKeepDays=30\n");
  EXPECT_EQ(s.backend, StoreBackend::Sqlite);
  EXPECT_TRUE(s.problem.empty());
  s = read(
      "[Store]\nBackend=PostgreSQL\nConninfo=host=/run/postgresql dbname=quell"
      " connect_timeout=2\nNode=gw-1.site_A\n");
  EXPECT_EQ(s.backend, StoreBackend::Postgresql);
  EXPECT_EQ(s.conninfo, "host=/run/postgresql dbname=quell connect_timeout=2");
  EXPECT_EQ(s.node, "gw-1.site_A");
  EXPECT_TRUE(s.problem.empty()) << s.problem;
  s = read("[Store]\nBackend=postgresql\n");  // libpq's defaults, the host name
  EXPECT_TRUE(s.conninfo.empty());
  EXPECT_FALSE(s.node.empty());
  EXPECT_EQ(s.problem.empty(), ValidNodeName(s.node));

  const std::string node64(64, 'n');
  EXPECT_TRUE(read(("[Store]\nBackend=postgresql\nNode=" + node64 + "\n").c_str()).problem.empty());
  const char* bad[] = {
      "[Store]\nBackend=mysql\n",
      "[Store]\nBackend=postgresql\nConninfo=host=a nosuchoption=1\nNode=a\n",
      "[Store]\nBackend=postgresql\nConninfo=host='unterminated\nNode=a\n",
      "[Store]\nBackend=postgresql\nNode=\n",
      "[Store]\nBackend=postgresql\nNode=gw 1\n",
      "[Store]\nBackend=postgresql\nNode=\xc3\xa9\n",
  };
  for (const char* ini : bad) EXPECT_FALSE(read(ini).problem.empty()) << ini;
  EXPECT_FALSE(
      read(("[Store]\nBackend=postgresql\nNode=" + node64 + "n\n").c_str()).problem.empty());
}

}  // namespace
}  // namespace quell
