// The store's thread telling the metrics what it wrote and what waits for
// delivery, read on the main thread (under ThreadSanitizer too).
#include <gtest/gtest.h>

#include <QObject>

#include "monitoring/metrics.h"
#include "store/event_store.h"
#include "tests/support/loopback.h"
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
    store.SetFate(seq, EventTarget::Console, EventFate::Delivered);
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

}  // namespace
}  // namespace quell
