// The "История" page over a real events file: newest first, pages of
// kPageRows, the account filter and the time range.
#include "ui/history_view.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QTemporaryDir>

#include "store/event_db.h"

namespace quell {
namespace {

TEST(HistoryViewTest, PagesNewestFirstAndFiltersByAccountAndTime) {
  QTemporaryDir dir;
  const std::string path = dir.filePath(QStringLiteral("Events.db")).toStdString();
  const QDateTime base(QDate(2026, 12, 1), QTime(10, 0));
  const int total = HistoryView::kPageRows + 5;
  {
    EventDb db;
    ASSERT_NE(db.Open(path, nullptr), EventDb::OpenResult::Failed);
    std::vector<EventRow> rows;
    for (int i = 1; i <= total; ++i) {
      EventRow r;
      r.seq = i;
      r.receivedMs = base.addSecs(60 * i).toMSecsSinceEpoch();
      r.road = "tcp";
      r.account = i % 2 ? "1234" : "5678";
      r.consoleText = "event " + std::to_string(i);
      r.console = EventFate::Delivered;
      rows.push_back(r);
    }
    ASSERT_TRUE(db.Write(rows, {}, nullptr));
  }
  HistoryView view(path);
  view.sinceField()->setDateTime(base);
  view.untilField()->setDateTime(base.addDays(1));
  const auto firstEvent = [&] { return view.rows()->topLevelItem(0)->text(5).toStdString(); };

  view.ShowNewest();
  ASSERT_EQ(view.rows()->topLevelItemCount(), HistoryView::kPageRows);
  EXPECT_EQ(firstEvent(), "event " + std::to_string(total));
  view.ShowOlder();
  ASSERT_EQ(view.rows()->topLevelItemCount(), 5);
  EXPECT_EQ(firstEvent(), "event 5");
  view.ShowNewer();
  EXPECT_EQ(firstEvent(), "event " + std::to_string(total));

  view.accountField()->setText(QStringLiteral("5678"));
  view.sinceField()->setDateTime(base.addSecs(60 * 10));
  view.untilField()->setDateTime(base.addSecs(60 * 20));
  view.ShowNewest();
  ASSERT_EQ(view.rows()->topLevelItemCount(), 6);  // 10, 12 ... 20: both ends included
  EXPECT_EQ(firstEvent(), "event 20");
  EXPECT_EQ(view.rows()->topLevelItem(5)->text(5).toStdString(), "event 10");
}

}  // namespace
}  // namespace quell
