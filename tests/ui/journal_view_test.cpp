// The journal list under a stream of entries: entries on top wait for the
// next showing and then appear newest first, an entry elsewhere shows what
// waits before itself, and the rows hold the journal's text and tone.
#include "ui/journal_view.h"

#include <gmock/gmock.h>

#include <QColor>
#include <QCoreApplication>
#include <QElapsedTimer>

#include "core/journal.h"
#include "ui/journal_tone.h"

namespace quell {
namespace {

QString Row(const JournalModel& m, int row) {
  return m.data(m.index(row), Qt::DisplayRole).toString();
}

TEST(JournalViewTest, EntriesOnTopAreShownTogetherNewestFirst) {
  Journal journal;
  JournalView view;
  journal.onInsert = [&](size_t i, const std::string& t) { view.InsertEntry(i, t); };
  journal.onClear = [&] { view.clear(); };
  JournalModel& m = *view.journalModel();
  journal.InsertTop("first");
  journal.InsertTop("second");
  journal.InsertTop("\xcf\xee\xf0\xf2 ADM");  // "Порт ADM" in Windows-1251
  EXPECT_EQ(m.rowCount(), 0);
  EXPECT_EQ(m.Waiting(), 3u);
  m.ShowWaiting();
  ASSERT_EQ(m.rowCount(), 3);
  EXPECT_EQ(Row(m, 0), QString::fromUtf8("Порт ADM"));
  EXPECT_EQ(Row(m, 2), QStringLiteral("first"));
  EXPECT_EQ(m.data(m.index(0), Qt::ForegroundRole).value<QColor>(),
            QColor(ToneRgb(JournalTone::Blue).r, ToneRgb(JournalTone::Blue).g,
                   ToneRgb(JournalTone::Blue).b));
  EXPECT_FALSE(m.data(m.index(3), Qt::DisplayRole).isValid());

  // An entry at the bottom shows the waiting ones first, so the journal's
  // index and the list's row stay the same.
  journal.InsertTop("third");
  journal.Append("bottom");
  EXPECT_EQ(m.Waiting(), 0u);
  ASSERT_EQ(m.rowCount(), 5);
  EXPECT_EQ(Row(m, 0), QStringLiteral("third"));
  EXPECT_EQ(Row(m, 4), QStringLiteral("bottom"));

  journal.InsertTop("waiting");
  journal.Clear();
  EXPECT_EQ(m.rowCount(), 0);
  EXPECT_EQ(m.Waiting(), 0u);
}

TEST(JournalViewTest, WaitingEntriesAppearOnTheirOwnAndReloadKeepsTheOrder) {
  JournalView view;
  JournalModel& m = *view.journalModel();
  view.InsertEntry(0, "a");
  QElapsedTimer t;
  t.start();
  while (m.rowCount() == 0 && t.elapsed() < 5000) QCoreApplication::processEvents();
  EXPECT_EQ(m.rowCount(), 1);

  Journal journal;
  journal.Append("old");
  journal.Append("older");
  journal.InsertTop("new");
  view.Reload(journal);
  ASSERT_EQ(m.rowCount(), 3);
  EXPECT_EQ(Row(m, 0), QStringLiteral("new"));
  EXPECT_EQ(Row(m, 1), QStringLiteral("old"));
  EXPECT_EQ(Row(m, 2), QStringLiteral("older"));
}

}  // namespace
}  // namespace quell
