// Which history the page reads for the store settings: the events file,
// the server, or none with the settings' problem said (never the file in
// place of a server the settings name but cannot use).
#include "store/history_source.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace quell {
namespace {

std::optional<HistoryPage> FetchAtOnce(HistorySource& source) {
  std::optional<HistoryPage> page;
  EXPECT_TRUE(source.Fetch({}, [&](HistoryPage p) { page = std::move(p); }));
  return page;
}

TEST(HistorySourceTest, TheSettingsChooseTheFileTheServerOrTheirProblem) {
  QTemporaryDir dir;
  const std::string wd = dir.path().toStdString();
  const auto settings = [&](const char* ini) {
    QFile f(dir.filePath(QStringLiteral("EventStore.ini")));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(ini);
    f.close();
    return ReadStoreSettings(wd);
  };

  // No events file yet: read at once, and the reason is SQLite's.
  auto file = OpenHistorySource(settings("[Store]\nPath=none.db\n"));
  EXPECT_FALSE(file->Shared());
  auto page = FetchAtOnce(*file);
  ASSERT_TRUE(page.has_value());
  EXPECT_FALSE(page->ok);
  EXPECT_FALSE(page->error.empty());

  EXPECT_TRUE(OpenHistorySource(settings("[Store]\nBackend=postgresql\nNode=gw1\n"))->Shared());

  // A near miss of a node name: the store refuses it, so does the page.
  auto refused = OpenHistorySource(settings("[Store]\nBackend=postgresql\nNode=gw 1\n"));
  EXPECT_FALSE(refused->Shared());
  page = FetchAtOnce(*refused);
  ASSERT_TRUE(page.has_value());
  EXPECT_FALSE(page->ok);
  EXPECT_EQ(page->error.rfind("EventStore.ini: ", 0), 0u) << page->error;
  EXPECT_NE(page->error.find("Node"), std::string::npos) << page->error;
}

}  // namespace
}  // namespace quell
