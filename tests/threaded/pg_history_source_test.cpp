// The shared history read on a thread of its own (a real PostgreSQL server,
// the ctest fixture's): pages newest first that continue below the key of
// the last row, handed back on the caller's thread; one page at a time; a
// source that goes while a page is being read never calls back.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTcpServer>
#include <QThread>
#include <algorithm>
#include <tuple>

#include "store/pg_history_source.h"
#include "tests/support/loopback.h"
#include "tests/support/pg_history_rows.h"
#include "tests/support/pg_test_db.h"

namespace quell {
namespace {

using test::WaitFor;

class PgHistorySourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!db_.Ready()) GTEST_SKIP() << "PostgreSQL cases skipped: " << db_.WhyNot();
  }
  test::PgTestDb db_;
};

TEST_F(PgHistorySourceTest, PagesNewestFirstBelowTheLastKeyOnTheCallersThread) {
  // Three gateways numbering from 1 with equal received times: a page that
  // continued by time or seq alone would skip or repeat rows.
  std::vector<HistoryRow> rows;
  std::vector<std::tuple<int64_t, std::string, int64_t, int64_t>> keys;
  for (int i = 0; i < 11; ++i) {
    HistoryRow h;
    h.node = "gw" + std::to_string(i % 3);
    h.run = 10 - i % 3;
    h.row.seq = i / 3 + 1;
    h.row.receivedMs = 1'765'000'000'000 + i / 5;
    h.row.raw = std::to_string(i);
    keys.emplace_back(h.row.receivedMs, h.node, h.run, h.row.seq);
    rows.push_back(h);
  }
  std::string error;
  ASSERT_TRUE(test::InsertHistoryRows(db_.Conninfo(), rows, &error)) << error;
  std::sort(keys.rbegin(), keys.rend());

  PgHistorySource source(db_.Conninfo());
  HistoryRequest request;
  request.query.limit = 3;
  std::vector<std::tuple<int64_t, std::string, int64_t, int64_t>> read;
  for (int pages = 0; pages < 10; ++pages) {
    std::optional<HistoryPage> page;
    bool onCallersThread = false;
    ASSERT_TRUE(source.Fetch(request, [&](HistoryPage p) {
      onCallersThread = QThread::currentThread() == QCoreApplication::instance()->thread();
      page = std::move(p);
    }));
    EXPECT_FALSE(source.Fetch(request, [](HistoryPage) { ADD_FAILURE() << "a second page"; }));
    ASSERT_TRUE(WaitFor([&] { return page.has_value(); }, 10'000));
    ASSERT_TRUE(page->ok) << page->error;
    EXPECT_TRUE(onCallersThread);
    for (const HistoryRow& h : page->rows)
      read.emplace_back(h.row.receivedMs, h.node, h.run, h.row.seq);
    if (page->rows.size() < 3) break;
    request.before = KeyOf(page->rows.back());
  }
  EXPECT_EQ(read, keys);
}

TEST_F(PgHistorySourceTest, ASourceEndedWhileReadingNeverCallsBack) {
  QTcpServer silent;  // takes connections and never says a word
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
  bool called = false;
  {
    PgHistorySource source("host=127.0.0.1 port=" + std::to_string(silent.serverPort()), 300);
    ASSERT_TRUE(source.Fetch({}, [&](HistoryPage) { called = true; }));
  }  // waits for the reader, whose page is then posted to nobody
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents();
  EXPECT_FALSE(called);
}

}  // namespace
}  // namespace quell
