// The store's thread telling the metrics what it wrote and what waits for
// delivery, read on the main thread (under ThreadSanitizer too).
#include <gtest/gtest.h>

#include <QObject>

#include "monitoring/metrics.h"
#include "store/event_store.h"
#include "store/pg_event_store.h"
#include "tests/support/loopback.h"
#include "tests/support/pg_test_db.h"
#include "tests/support/store_files.h"

namespace quell {
namespace {

bool Has(const std::string& text, const std::string& line) {
  return text.find("\n" + line + "\n") != std::string::npos;
}

TEST(MetricsTest, TheStoreCountsAcceptedRowsAndPendingOnesFromItsOwnRecords) {
  test::StoreDir dir;
  QObject context;
  Metrics m("1", {});
  {
    // Rows kept from an earlier run fill the ring and the pending figures.
    EventStore store(dir.Path(), &context);
    ASSERT_TRUE(store.Start(nullptr, nullptr));
    int done = 0;
    for (int i = 0; i < 3; ++i)
      store.Add(test::TcpRow("old" + std::to_string(i)), [&](bool) { ++done; });
    ASSERT_TRUE(test::WaitFor([&] { return done == 3; }));
  }
  EventStore store(dir.Path(), &context);
  store.SetMeter(&m);
  ASSERT_TRUE(store.Start(nullptr, nullptr));
  int done = 0;
  EventRow dc09 = test::TcpRow("d");
  dc09.road = "dc09";
  dc09.receivedMs += 5000;
  store.Add(dc09, [&](bool) { ++done; });
  EventRow module = test::TcpRow("<m>");
  module.road = "module";
  module.console = EventFate::None;
  module.notice = EventFate::Pending;
  module.noticeText = "notice";
  store.Add(module, [&](bool) { ++done; });
  ASSERT_TRUE(test::WaitFor([&] { return done == 2; }));
  ASSERT_TRUE(test::WaitFor([&] { return m.PendingNow().console == 4; }));
  PendingFigures p = m.PendingNow();
  EXPECT_EQ(p.client, 1);
  EXPECT_EQ(p.oldestConsoleMs, test::TcpRow("").receivedMs);
  EXPECT_EQ(p.oldestClientMs, module.receivedMs);

  // Delivering the three old rows leaves the DC-09 row the oldest.
  for (int64_t seq = 1; seq <= 3; ++seq)
    store.SetFate(test::FileKey(seq), EventTarget::Console, EventFate::Delivered);
  store.Add(test::TcpRow("new"), [&](bool) { ++done; });
  ASSERT_TRUE(test::WaitFor([&] { return m.PendingNow().console == 2; }));
  EXPECT_EQ(m.PendingNow().oldestConsoleMs, dc09.receivedMs);

  StatusSnapshot s;
  s.nowMs = dc09.receivedMs + 90'000;
  m.Publish(s);
  const std::string text = m.Scrape();
  EXPECT_TRUE(Has(text, "quell_events_accepted_total{road=\"tcp\"} 1")) << text;
  EXPECT_TRUE(Has(text, "quell_events_accepted_total{road=\"dc09\"} 1"));
  EXPECT_TRUE(Has(text, "quell_events_accepted_total{road=\"module\"} 1"));
  EXPECT_TRUE(Has(text, "quell_pending_rows{target=\"console\"} 2"));
  EXPECT_TRUE(Has(text, "quell_pending_rows{target=\"client\"} 1"));
  EXPECT_TRUE(Has(text, "quell_oldest_pending_age_seconds{target=\"console\"} 90"));
  EXPECT_TRUE(Has(text, "quell_store_write_failures_total 0"));

  const std::vector<RingEvent> ring = m.Ring().Newest();
  ASSERT_EQ(ring.size(), 6u);
  EXPECT_EQ(ring.front().text, "new\x14");
  EXPECT_EQ(ring.back().text, "old0\x14");
}

// The same figures from the store on a PostgreSQL server: the ring and the
// pending rows of earlier runs read at the first connection, commits and
// fates after it, and writes refused while the server cannot be reached.
TEST(MetricsTest, ThePostgresqlStoreCountsWhatItWritesAndWhatWaits) {
  test::PgTestDb db;
  if (!db.Ready()) GTEST_SKIP() << "PostgreSQL cases skipped: " << db.WhyNot();
  QObject context;
  const auto make = [&](const std::string& node) {
    return std::make_unique<PgEventStore>(PgEventStore::Options{db.Conninfo(), node, 0, {}, {}},
                                          &context, nullptr);
  };
  std::vector<RowKey> oldKeys;
  {
    auto old = make("gw1");
    old->Start();
    int done = 0;
    for (int i = 0; i < 3; ++i)
      oldKeys.push_back(old->Add(test::TcpRow("old" + std::to_string(i)), [&](bool) { ++done; }));
    ASSERT_TRUE(test::WaitFor([&] { return done == 3; }, 10'000));
    // Another gateway's rows are neither in the ring nor pending here.
    auto other = make("gw2");
    other->Start();
    other->Add(test::TcpRow("elsewhere"), [&](bool) { ++done; });
    ASSERT_TRUE(test::WaitFor([&] { return done == 4; }, 10'000));
  }
  Metrics m("1", {});
  auto store = make("gw1");
  store->SetMeter(&m);
  store->Start();
  ASSERT_TRUE(test::WaitFor([&] { return m.PendingNow().console == 3; }, 10'000));
  EXPECT_EQ(m.Ring().Newest().size(), 3u);

  int done = 0;
  EventRow dc09 = test::TcpRow("d");
  dc09.road = "dc09";
  dc09.receivedMs += 5000;
  store->Add(dc09, [&](bool) { ++done; });
  EventRow module = test::TcpRow("<m>");
  module.road = "module";
  module.console = EventFate::None;
  module.notice = EventFate::Pending;
  module.noticeText = "notice";
  store->Add(module, [&](bool) { ++done; });
  ASSERT_TRUE(test::WaitFor([&] { return done == 2; }, 10'000));
  ASSERT_TRUE(test::WaitFor([&] { return m.PendingNow().console == 4; }, 10'000));
  PendingFigures p = m.PendingNow();
  EXPECT_EQ(p.client, 1);
  EXPECT_EQ(p.oldestConsoleMs, test::TcpRow("").receivedMs);
  EXPECT_EQ(p.oldestClientMs, module.receivedMs);

  // The old rows keep the keys of their run: delivering them by those
  // leaves the DC-09 row the oldest.
  store->Add(test::TcpRow("new"), [&](bool) { ++done; });
  ASSERT_TRUE(test::WaitFor([&] { return done == 3; }, 10'000));
  for (const RowKey& key : oldKeys) store->SetFate(key, EventTarget::Console, EventFate::Delivered);
  store->Add(test::TcpRow("newer"), [&](bool) { ++done; });
  ASSERT_TRUE(test::WaitFor([&] { return m.PendingNow().console == 3; }, 10'000));
  EXPECT_EQ(m.PendingNow().oldestConsoleMs, dc09.receivedMs);

  StatusSnapshot s;
  s.nowMs = dc09.receivedMs + 90'000;
  m.Publish(s);
  std::string text = m.Scrape();
  EXPECT_TRUE(Has(text, "quell_events_accepted_total{road=\"tcp\"} 2")) << text;
  EXPECT_TRUE(Has(text, "quell_events_accepted_total{road=\"dc09\"} 1"));
  EXPECT_TRUE(Has(text, "quell_events_accepted_total{road=\"module\"} 1"));
  EXPECT_TRUE(Has(text, "quell_pending_rows{target=\"console\"} 3"));
  EXPECT_TRUE(Has(text, "quell_oldest_pending_age_seconds{target=\"console\"} 90"));
  EXPECT_TRUE(Has(text, "quell_store_write_failures_total 0"));
  const std::vector<RingEvent> ring = m.Ring().Newest();
  ASSERT_EQ(ring.size(), 7u);
  EXPECT_EQ(ring.front().text, "newer\x14");

  // The server refuses this database: a sender's row is a failed write.
  const std::string name = db.Conninfo().substr(db.Conninfo().rfind('=') + 1);
  ASSERT_TRUE(db.Exec("ALTER DATABASE " + name + " ALLOW_CONNECTIONS false", true));
  ASSERT_TRUE(
      db.Exec("SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity"
              " WHERE datname = '" +
                  name + "' AND pid <> pg_backend_pid()",
              true));
  ASSERT_TRUE(test::WaitFor([&] { return !store->Writable(); }, 10'000));
  int refused = -1;
  store->Add(test::TcpRow("refused"), [&](bool stored) { refused = stored; });
  ASSERT_TRUE(test::WaitFor([&] { return refused >= 0; }, 10'000));
  EXPECT_EQ(refused, 0);
  text = m.Scrape();
  EXPECT_TRUE(Has(text, "quell_store_write_failures_total 1")) << text;
  ASSERT_TRUE(db.Exec("ALTER DATABASE " + name + " ALLOW_CONNECTIONS true", true));
}

// The DC-09 copy keys read back at the first connection: this node's rows
// received within the window (its first millisecond included, the one
// before not), oldest first.
TEST(MetricsTest, ThePostgresqlStoreReadsBackThisNodesRecentCopyKeys) {
  test::PgTestDb db;
  if (!db.Ready()) GTEST_SKIP() << "PostgreSQL cases skipped: " << db.WhyNot();
  QObject context;
  constexpr int64_t kNow = 1'765'000'200'000;
  constexpr int64_t kWindow = 120'000;
  const auto keyed = [](const std::string& key, int64_t receivedMs) {
    EventRow r = test::TcpRow(key);
    r.road = "dc09";
    r.copyKey = key;
    r.receivedMs = receivedMs;
    return r;
  };
  {
    int done = 0;
    for (const char* node : {"gw1", "gw2"}) {
      PgEventStore store(PgEventStore::Options{db.Conninfo(), node, 0, {}, {}}, &context, nullptr);
      store.Start();
      const std::string n = node;
      const int target = done + 4;
      store.Add(keyed(n + "-outside", kNow - kWindow - 1), [&](bool) { ++done; });
      store.Add(keyed(n + "-edge", kNow - kWindow), [&](bool) { ++done; });
      store.Add(keyed("", kNow - 5), [&](bool) { ++done; });  // a row of no DC-09 frame
      store.Add(keyed(n + "-late", kNow - 10), [&](bool) { ++done; });
      ASSERT_TRUE(test::WaitFor([&] { return done == target; }, 10'000));
    }
    ASSERT_EQ(done, 8);
  }
  std::vector<RecentCopy> copies;
  bool told = false;
  PgEventStore store(PgEventStore::Options{db.Conninfo(),
                                           "gw1",
                                           0,
                                           [] { return kNow; },
                                           {},
                                           [&](std::vector<RecentCopy> c) {
                                             copies = std::move(c);
                                             told = true;
                                           },
                                           kWindow},
                     &context, nullptr);
  store.Start();
  ASSERT_TRUE(test::WaitFor([&] { return told; }, 10'000));
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_EQ(copies[0].copyKey, "gw1-edge");
  EXPECT_EQ(copies[0].receivedMs, kNow - kWindow);
  EXPECT_EQ(copies[1].copyKey, "gw1-late");
}

}  // namespace
}  // namespace quell
