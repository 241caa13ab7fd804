// The store's thread: completions on the event loop in sequence order, what
// a restart finds pending, writes that fail and recover, a file removed
// under the store, and a worker's bounded wait for its commit.
#include "store/event_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <cstdio>

#include "store/event_db.h"
#include "tests/support/loopback.h"
#include "tests/support/store_files.h"

namespace quell {
namespace {

using test::FileKey;
using test::StoreDir;
using test::TcpRow;
using test::WaitFor;

std::vector<int64_t> PendingSeqs(const std::string& path) {
  EventDb db;
  std::vector<int64_t> seqs;
  if (db.Open(path, nullptr) == EventDb::OpenResult::Failed) return {-1};
  for (const EventRow& r : db.Pending()) seqs.push_back(r.seq);
  return seqs;
}

TEST(EventStoreTest, CompletionsRunOnTheEventLoopInSequenceOrder) {
  StoreDir dir;
  QObject context;
  std::vector<std::pair<int64_t, bool>> done;
  {
    EventStore store(dir.Path(), &context);
    std::vector<EventRow> pending;
    ASSERT_TRUE(store.Start(&pending, nullptr));
    EXPECT_TRUE(pending.empty());
    std::vector<int64_t> seqs;
    for (int i = 0; i < 50; ++i) {
      auto seq = std::make_shared<int64_t>(0);
      *seq = store
                 .Add(TcpRow("e" + std::to_string(i)),
                      [&done, seq](bool stored) { done.emplace_back(*seq, stored); })
                 .seq;
      seqs.push_back(*seq);
    }
    EXPECT_TRUE(done.empty());  // nothing runs before the event loop does
    ASSERT_TRUE(WaitFor([&] { return done.size() == 50; }));
    for (size_t i = 0; i < done.size(); ++i) EXPECT_EQ(done[i], std::make_pair(seqs[i], true));
    for (int64_t seq = 1; seq <= 50; seq += 2)
      store.SetFate(FileKey(seq), EventTarget::Console, EventFate::Delivered);
  }  // the destructor writes the queued fates
  const std::vector<int64_t> pending = PendingSeqs(dir.Path());
  ASSERT_EQ(pending.size(), 25u);
  EXPECT_EQ(pending.front(), 2);

  // A restart continues the numbering and hands the pending rows back.
  EventStore store(dir.Path(), &context);
  std::vector<EventRow> rows;
  ASSERT_TRUE(store.Start(&rows, nullptr));
  ASSERT_EQ(rows.size(), 25u);
  EXPECT_EQ(rows.front().raw, "e1");
  EXPECT_EQ(store.Add(TcpRow("next"), nullptr), FileKey(51));
}

// The store keeps the file's pending floor: after thousands of rows
// delivered past it, a restart finds exactly the rows still pending.
TEST(EventStoreTest, ARestartFindsThePendingRowsAfterTheFloorMovedPastDeliveredOnes) {
  StoreDir dir;
  QObject context;
  constexpr int kRows = 5000;
  {
    EventStore store(dir.Path(), &context);
    ASSERT_TRUE(store.Start(nullptr, nullptr));
    int done = 0;
    for (int i = 1; i <= kRows; ++i)
      store.Add(TcpRow("e" + std::to_string(i)), [&](bool) { ++done; });
    ASSERT_TRUE(WaitFor([&] { return done == kRows; }, 20000));
    for (int64_t seq = 1; seq <= kRows; ++seq)
      if (seq != 3 && seq != 4500)
        store.SetFate(FileKey(seq), EventTarget::Console, EventFate::Delivered);
    store.Add(TcpRow("after"), [&](bool) { ++done; });
    ASSERT_TRUE(WaitFor([&] { return done == kRows + 1; }));
    // Row 3 held the floor down; delivered, it lets the floor move on with
    // the commit after the one that writes its delivery.
    store.SetFate(FileKey(3), EventTarget::Console, EventFate::Delivered);
    for (const char* text : {"last", "one more"}) {
      const int before = done;
      store.Add(TcpRow(text), [&](bool) { ++done; });
      ASSERT_TRUE(WaitFor([&] { return done == before + 1; }));
    }
  }
  const int64_t floor = test::FileNumber(dir.Path(), "SELECT seq FROM events_floor");
  EXPECT_GT(floor, 3);  // it moved
  EXPECT_LE(floor, 4500);
  EXPECT_EQ(PendingSeqs(dir.Path()), (std::vector<int64_t>{4500, kRows + 1, kRows + 2, kRows + 3}));
}

TEST(EventStoreTest, FailedWritesTellSendersAndHoldSenderlessRowsUntilTheFileOpens) {
  StoreDir dir;
  QObject context;
  const QString sub = dir.dir.filePath(QStringLiteral("later"));
  const std::string path = (sub + QStringLiteral("/Events.db")).toStdString();
  EventStore store(path, &context);
  std::string error;
  EXPECT_FALSE(store.Start(nullptr, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(store.Writable());

  std::vector<std::string> outcome;
  store.Add(TcpRow("from a sender"), [&](bool stored) { outcome.push_back(stored ? "S" : "s"); });
  store.Add(
      TcpRow("a key"), [&](bool stored) { outcome.push_back(stored ? "K" : "k"); }, true);
  ASSERT_TRUE(WaitFor([&] { return outcome.size() == 2; }));
  EXPECT_EQ(outcome, (std::vector<std::string>{"s", "K"}));
  EXPECT_EQ(store.HeldRows(), 1u);
  EXPECT_FALSE(store.Writable());

  // Room again: the held row is written by the store's own retry.
  ASSERT_TRUE(QDir().mkpath(sub));
  ASSERT_TRUE(WaitFor([&] { return store.HeldRows() == 0; }, 5000));
  EXPECT_TRUE(store.Writable());
  EventDb db;
  ASSERT_TRUE(db.OpenReadOnly(path, nullptr));
  std::vector<std::string> raws;
  db.Read(
      {}, [&](const EventRow& r) { return raws.push_back(r.raw), true; }, nullptr);
  EXPECT_EQ(raws, (std::vector<std::string>{"a key"}));  // the sender's row had no effect
}

TEST(EventStoreTest, FileRemovedUnderTheStoreIsMadeAgainWithWhatIsPending) {
  StoreDir dir;
  QObject context;
  EventStore store(dir.Path(), &context);
  ASSERT_TRUE(store.Start(nullptr, nullptr));
  int done = 0;
  const auto count = [&](bool stored) { done += stored; };
  store.Add(TcpRow("delivered"), count);
  store.Add(TcpRow("pending"), count);
  ASSERT_TRUE(WaitFor([&] { return done == 2; }));
  store.SetFate(FileKey(1), EventTarget::Console, EventFate::Delivered);
  store.Add(TcpRow("sync"), count);
  ASSERT_TRUE(WaitFor([&] { return done == 3; }));

  ASSERT_EQ(std::remove(dir.Path().c_str()), 0);
  store.Add(TcpRow("after"), count);
  ASSERT_TRUE(WaitFor([&] { return done == 4; }));
  EXPECT_EQ(PendingSeqs(dir.Path()), (std::vector<int64_t>{2, 3, 4}));
}

TEST(EventStoreTest, WorkerWaitEndsAtTheBoundOrWhenCancelled) {
  StoreDir dir;
  EventStore store(dir.Path(), nullptr);
  ASSERT_TRUE(store.Start(nullptr, nullptr));
  EXPECT_TRUE(store.AddAndWait(TcpRow("quick"), 1000, nullptr));

  // Another writer holds the file's write lock: the commit cannot finish.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(dir.Path().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  std::atomic<bool> cancel{true};
  EXPECT_FALSE(store.AddAndWait(TcpRow("cancelled"), 1000, &cancel));
  cancel = false;
  EXPECT_FALSE(store.AddAndWait(TcpRow("timed out"), 20, &cancel));
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_TRUE(store.AddAndWait(TcpRow("again"), 5000, nullptr));
}

TEST(EventStoreTest, PruningRemovesOldDeliveredRowsInStepsAndKeepsPendingOnes) {
  StoreDir dir;
  constexpr int64_t kDay = 24 * 3600 * 1000;
  const int64_t now = 400 * kDay;
  {
    EventDb db;
    ASSERT_NE(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Failed);
    std::vector<EventRow> rows;
    for (int i = 1; i <= EventStore::kPruneStepRows + 3; ++i) {
      rows.push_back(TcpRow("old", i == 2 ? EventFate::Pending : EventFate::Delivered));
      rows.back().seq = i;
      rows.back().receivedMs = now - 31 * kDay;
    }
    rows.push_back(TcpRow("recent", EventFate::Delivered));
    rows.back().seq = int64_t(rows.size()) + 1;
    rows.back().receivedMs = now - 29 * kDay;
    ASSERT_TRUE(db.Write(rows, {}, nullptr));
  }
  EventStore store(dir.Path(), nullptr);
  store.SetRetention(30, [now] { return now; });
  ASSERT_TRUE(store.Start(nullptr, nullptr));
  const auto remaining = [&] {
    EventDb db;
    std::vector<std::string> raws;
    if (!db.OpenReadOnly(dir.Path(), nullptr)) return raws;
    db.Read(
        {}, [&](const EventRow& r) { return raws.push_back(r.raw), true; }, nullptr);
    return raws;
  };
  ASSERT_TRUE(WaitFor([&] { return remaining().size() == 2; }));
  EXPECT_EQ(remaining(), (std::vector<std::string>{"old", "recent"}));  // the pending one stays
}

// A delivery waits a moment for rows to share their commit; with rows
// following it goes with them, and alone it still reaches the file
// (the store's thread must not sleep on past the delivery's deadline).
TEST(EventStoreTest, DeliveriesGoWithTheNextRowsOrAloneSoonAfter) {
  StoreDir dir;
  EventStore store(dir.Path(), nullptr);
  ASSERT_TRUE(store.Start(nullptr, nullptr));
  RowKey last = store.AddAndWait(TcpRow("e"), 5000, nullptr);
  ASSERT_TRUE(last);
  for (int i = 0; i < 20; ++i) {
    store.SetFate(last, EventTarget::Console, EventFate::Delivered);
    last = store.AddAndWait(TcpRow("e"), 5000, nullptr);
    ASSERT_TRUE(last);
  }
  EXPECT_EQ(PendingSeqs(dir.Path()), std::vector<int64_t>{last.seq});
  store.SetFate(last, EventTarget::Console, EventFate::Delivered);
  EXPECT_TRUE(WaitFor([&] { return PendingSeqs(dir.Path()).empty(); }));
}

// The write-ahead log is copied into the file while commits go on and then
// starts over: it stays near its restart size (2,000 pages, 8 MB), far
// below what the commits alone would make (about 4 pages each, 48 MB) and
// below the 16 MB at which the store would have to cut it.
TEST(EventStoreTest, TheLogStartsOverWhileCommitsGoOn) {
  StoreDir dir;
  EventStore store(dir.Path(), nullptr);
  ASSERT_TRUE(store.Start(nullptr, nullptr));
  // Rows without a pause: a few a commit, the next commit always waiting.
  for (int i = 0; i < 3000; ++i) {
    store.Add(TcpRow("e"), nullptr);
    if (i % 3 == 2) {
      ASSERT_TRUE(store.AddAndWait(TcpRow("e"), 5000, nullptr));
    }
  }
  const qint64 wal = QFileInfo(QString::fromStdString(dir.Path("Events.db-wal"))).size();
  EXPECT_LT(wal, 10 * 1024 * 1024);
  EventDb db;
  ASSERT_TRUE(db.OpenReadOnly(dir.Path(), nullptr));
  int rows = 0;
  db.Read(
      {}, [&](const EventRow&) { return ++rows, true; }, nullptr);
  EXPECT_EQ(rows, 4000);
}

// The rows of one frame: consecutive sequences, written in one commit,
// one completion once all are on disk.
TEST(EventStoreTest, AGroupIsOneCommitWithOneCompletion) {
  StoreDir dir;
  QObject context;
  EventStore store(dir.Path(), &context);
  ASSERT_TRUE(store.Start(nullptr, nullptr));
  const int64_t before = store.Add(TcpRow("single"), nullptr).seq;
  ASSERT_TRUE(WaitFor([&] { return store.Counters().rows == 1; }));
  const uint64_t commits = store.Counters().commits;
  int completions = 0;
  bool stored = false;
  const int64_t first = store
                            .AddGroup({TcpRow("a"), TcpRow("b"), TcpRow("c")},
                                      [&](bool ok) {
                                        ++completions;
                                        stored = ok;
                                      })
                            .seq;
  EXPECT_EQ(first, before + 1);
  ASSERT_TRUE(WaitFor([&] { return completions == 1; }));
  EXPECT_TRUE(stored);
  EXPECT_EQ(store.Counters().commits, commits + 1);
  EXPECT_EQ(store.Counters().rows, 4u);
  EXPECT_EQ(PendingSeqs(dir.Path()), (std::vector<int64_t>{before, first, first + 1, first + 2}));
}

}  // namespace
}  // namespace quell
