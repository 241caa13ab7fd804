#include "app/stdout_journal.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <vector>

#include "tests/support/fake_clock.h"

namespace quell {
namespace {

struct Writes {
  std::vector<std::string> calls;
  std::function<void(std::string_view)> Sink() {
    return [this](std::string_view bytes) { calls.emplace_back(bytes); };
  }
};

TEST(StdoutJournalBatching, EntriesOfOneBurstGoOutInOrderInOneWrite) {
  test::FakeClock clock(QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7)));
  Writes out;
  StdoutJournal journal(clock, out.Sink());
  journal.Print("first");
  journal.Print("second\r");
  journal.Print("third");
  EXPECT_TRUE(out.calls.empty());  // not before the pending events are handled
  QCoreApplication::processEvents();
  ASSERT_EQ(out.calls.size(), 1u);
  EXPECT_EQ(out.calls[0],
            "2026-12-08 09:05:07 first\n2026-12-08 09:05:07 second \n"
            "2026-12-08 09:05:07 third\n");
  journal.Print("later");
  QCoreApplication::processEvents();
  ASSERT_EQ(out.calls.size(), 2u);
  EXPECT_EQ(out.calls[1], "2026-12-08 09:05:07 later\n");
}

TEST(StdoutJournalBatching, LargeBatchAndTheRestAtTheEndAreWritten) {
  test::FakeClock clock;
  Writes out;
  const std::string entry(1000, 'x');
  size_t printed = 0;
  {
    StdoutJournal journal(clock, out.Sink());
    // No event loop turn: the size bound alone makes the writes.
    while (out.calls.empty()) {
      journal.Print(entry);
      ++printed;
    }
    EXPECT_GE(out.calls[0].size(), StdoutJournal::kBatchBytes);
    journal.Print("last");
  }  // the destructor writes what is left
  ASSERT_EQ(out.calls.size(), 2u);
  std::string all = out.calls[0] + out.calls[1];
  EXPECT_EQ(size_t(std::count(all.begin(), all.end(), '\n')), printed + 1);
  EXPECT_TRUE(all.ends_with(" last\n"));
}

}  // namespace
}  // namespace quell
