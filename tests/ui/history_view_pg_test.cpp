// The "История" page over the shared history on a real PostgreSQL server
// (the ctest fixture's): two gateways' rows in the shared order, pages that
// continue by the key across the boundary at kPageRows, the node filter,
// Windows-1251 text, and a server that refuses or never answers.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QTcpServer>
#include <QTimer>
#include <algorithm>
#include <tuple>

#include "store/pg_history_source.h"
#include "tests/support/loopback.h"
#include "tests/support/pg_history_rows.h"
#include "tests/support/pg_test_db.h"
#include "ui/history_view.h"

namespace quell {
namespace {

using namespace std::string_literals;
using test::WaitFor;

constexpr int kEventColumn = 5;
constexpr int kNodeColumn = 7;

const QDateTime kBase(QDate(2026, 12, 1), QTime(10, 0));

class HistoryViewPgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!db_.Ready()) GTEST_SKIP() << "PostgreSQL cases skipped: " << db_.WhyNot();
  }

  // Shows a page and waits for it (the server answers from another thread).
  static void Wait(HistoryView& view, void (HistoryView::*show)()) {
    (view.*show)();
    ASSERT_TRUE(WaitFor([&] { return !view.reading(); }, 10'000));
  }

  static std::vector<std::string> Shown(HistoryView& view) {
    std::vector<std::string> events;
    for (int i = 0; i < view.rows()->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* item = view.rows()->topLevelItem(i);
      events.push_back(item->text(kNodeColumn).toStdString() + " " +
                       item->text(kEventColumn).toStdString());
    }
    return events;
  }

  static void Window(HistoryView& view) {
    view.sinceField()->setDateTime(kBase);
    view.untilField()->setDateTime(kBase.addDays(1));
  }

  test::PgTestDb db_;
};

// Both gateways number from 1 and share received times, so only the whole
// key (received time, node, run, seq) orders the rows and continues a page.
TEST_F(HistoryViewPgTest, ListsTwoNodesInTheSharedOrderAndPagesByTheKey) {
  const int total = HistoryView::kPageRows + 1;
  std::vector<HistoryRow> rows;
  std::vector<std::tuple<int64_t, std::string, int64_t, int64_t, std::string>> order;
  for (int i = 0; i < total; ++i) {
    HistoryRow h;
    h.node = i % 2 ? "gw2" : "gw1";
    h.run = i % 2 ? 5 : 9;
    h.row.seq = i / 2 + 1;
    h.row.receivedMs = kBase.addSecs(60 + i / 4).toMSecsSinceEpoch();
    h.row.road = "tcp";
    h.row.account = "1234";
    h.row.consoleText = "event " + std::to_string(i);
    h.row.console = EventFate::Delivered;
    order.emplace_back(h.row.receivedMs, h.node, h.run, h.row.seq,
                       h.node + " " + h.row.consoleText);
    rows.push_back(h);
  }
  std::string error;
  ASSERT_TRUE(test::InsertHistoryRows(db_.Conninfo(), rows, &error)) << error;
  std::sort(order.rbegin(), order.rend());  // newest first
  std::vector<std::string> expected;
  for (const auto& o : order) expected.push_back(std::get<4>(o));

  HistoryView view(std::make_unique<PgHistorySource>(db_.Conninfo()));
  Window(view);
  ASSERT_NE(view.nodeField(), nullptr);
  EXPECT_EQ(view.rows()->headerItem()->text(kNodeColumn).toStdString(), "Узел");

  Wait(view, &HistoryView::ShowNewest);
  const std::vector<std::string> first = Shown(view);
  EXPECT_EQ(first, std::vector<std::string>(expected.begin(), expected.end() - 1));
  EXPECT_TRUE(view.olderButton()->isEnabled());
  EXPECT_FALSE(view.newerButton()->isEnabled());
  Wait(view, &HistoryView::ShowOlder);
  EXPECT_EQ(Shown(view), std::vector<std::string>{expected.back()});
  EXPECT_FALSE(view.olderButton()->isEnabled());
  EXPECT_EQ(view.status()->text().toStdString(), "Страница 2");
  Wait(view, &HistoryView::ShowNewer);
  EXPECT_EQ(Shown(view), first);

  // Exactly kPageRows rows: one page, nothing older.
  ASSERT_TRUE(db_.Exec("DELETE FROM quell_event WHERE console_text = '" +
                       expected.back().substr(4) + "'::bytea"))
      << db_.Error();
  Wait(view, &HistoryView::ShowNewest);
  EXPECT_EQ(Shown(view), first);
  EXPECT_FALSE(view.olderButton()->isEnabled());

  // One gateway's rows, in the same order.
  view.nodeField()->setText(QStringLiteral("gw2"));
  Wait(view, &HistoryView::ShowNewest);
  std::vector<std::string> gw2;
  std::copy_if(first.begin(), first.end(), std::back_inserter(gw2),
               [](const std::string& e) { return e.rfind("gw2 ", 0) == 0; });
  EXPECT_EQ(Shown(view), gw2);
  view.nodeField()->setText(QStringLiteral("gw3"));
  Wait(view, &HistoryView::ShowNewest);
  EXPECT_EQ(view.rows()->topLevelItemCount(), 0);
}

TEST_F(HistoryViewPgTest, ShowsWindows1251LineNamesAndEvents) {
  HistoryRow h;
  h.node = "gw1";
  h.run = 1;
  h.row.seq = 1;
  h.row.receivedMs = kBase.addSecs(60).toMSecsSinceEpoch();
  h.row.road = "mlr";
  h.row.line = "\xcb\xe8\xed\xe8\xff 1";               // "Линия 1"
  h.row.account = "12\xff\x00"s;                       // a 0x00 and a 0xFF pass too
  h.row.consoleText = "\xd2\xf0\xe5\xe2\xee\xe3\xe0";  // "Тревога"
  h.row.console = EventFate::Pending;
  std::string error;
  ASSERT_TRUE(test::InsertHistoryRows(db_.Conninfo(), {h}, &error)) << error;
  HistoryView view(std::make_unique<PgHistorySource>(db_.Conninfo()));
  Window(view);
  Wait(view, &HistoryView::ShowNewest);
  ASSERT_EQ(view.rows()->topLevelItemCount(), 1);
  const QTreeWidgetItem* item = view.rows()->topLevelItem(0);
  EXPECT_EQ(item->text(2).toStdString(), "Линия 1");
  EXPECT_EQ(item->text(4).toStdString(), "12я\\x00");
  EXPECT_EQ(item->text(kEventColumn).toStdString(), "Тревога");
  EXPECT_EQ(item->text(kNodeColumn).toStdString(), "gw1");
}

// The window never waits on the server: the call returns at once, the
// event loop runs meanwhile, and the page says why there are no rows.
TEST_F(HistoryViewPgTest, AServerThatRefusesOrNeverAnswersIsSaidWithoutHoldingTheWindow) {
  QTcpServer silent;  // takes connections and never says a word
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
  const quint16 closedPort = closed.serverPort();
  closed.close();
  for (const auto& [port, why] :
       {std::pair{closedPort, std::string("refused")},
        std::pair{silent.serverPort(),
                  "no answer within " + std::to_string(PgHistorySource::kDeadlineMs) + " ms"}}) {
    SCOPED_TRACE(why);
    HistoryView view(std::make_unique<PgHistorySource>(
        "host=127.0.0.1 port=" + std::to_string(port) + " user=quell dbname=quell"));
    Window(view);
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(1);
    view.ShowNewest();
    EXPECT_TRUE(view.reading());
    EXPECT_EQ(view.status()->text().toStdString(), "Чтение…");
    ASSERT_TRUE(WaitFor([&] { return !view.reading(); }, 10'000));
    EXPECT_GT(ticks, 0);
    const std::string status = view.status()->text().toStdString();
    EXPECT_EQ(status.rfind("Сервер истории недоступен: ", 0), 0u) << status;
    EXPECT_NE(status.find(why), std::string::npos) << status;
    EXPECT_EQ(view.rows()->topLevelItemCount(), 0);
    EXPECT_FALSE(view.olderButton()->isEnabled());
  }
}

}  // namespace
}  // namespace quell
