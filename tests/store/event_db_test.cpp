// The events file on its own: rows and fates written in one transaction,
// what a restart finds pending, damaged files set aside, history queries,
// and a writer killed with SIGKILL in the middle of a burst.
#include "store/event_db.h"
#include "store/event_store.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sqlite3.h>
#include <QDir>
#include <fstream>
#include <map>

#include "tests/support/store_files.h"

namespace quell {
namespace {

using test::StoreDir;
using test::TcpRow;

std::vector<int64_t> Seqs(const std::vector<EventRow>& rows) {
  std::vector<int64_t> seqs;
  for (const EventRow& r : rows) seqs.push_back(r.seq);
  return seqs;
}

// Rows 1..n of console events, numbered.
std::vector<EventRow> NumberedRows(int n) {
  std::vector<EventRow> rows;
  for (int i = 1; i <= n; ++i) {
    rows.push_back(TcpRow("5011 181234E13001015" + std::to_string(i)));
    rows.back().seq = i;
  }
  return rows;
}

// Rows 1..n, each pending for the console and for a client.
std::vector<EventRow> RowsForConsoleAndClient(int n) {
  std::vector<EventRow> rows = NumberedRows(n);
  for (EventRow& r : rows) {
    r.noticeText = "K;" + std::to_string(r.seq);
    r.notice = EventFate::Pending;
  }
  return rows;
}

TEST(EventDbTest, RowsAndFatesSurviveReopenAndPendingListsOnlyUndelivered) {
  StoreDir dir;
  {
    EventDb db;
    ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
    std::vector<EventRow> rows = NumberedRows(4);
    rows[2].console = EventFate::NotForConsole;
    rows[3].console = EventFate::None;
    rows[3].noticeText = std::string("K;1;\x01", 5);
    rows[3].notice = EventFate::Pending;
    ASSERT_TRUE(db.Write(rows, {}, nullptr));
    ASSERT_TRUE(
        db.Write({}, {{test::FileKey(1), EventTarget::Console, EventFate::Delivered}}, nullptr));
  }
  EventDb db;
  ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
  EXPECT_EQ(db.MaxSeq(), 4);
  const std::vector<EventRow> pending = db.Pending();
  EXPECT_EQ(Seqs(pending), (std::vector<int64_t>{2, 4}));
  EXPECT_EQ(pending[0].consoleText, "5011 181234E130010152\x14");
  EXPECT_EQ(pending[1].noticeText, std::string("K;1;\x01", 5));  // bytes kept exactly
}

// Pending rows are read from the floor on: a row at the floor itself is
// pending, the floor moves up only by whole strides of rows, and at once
// down to a row written late under a smaller number.
TEST(EventDbTest, PendingRowsAreReadFromTheFloorWhichMovesUpInStridesAndDownAtOnce) {
  StoreDir dir;
  const auto storedFloor = [&] {
    return test::FileNumber(dir.Path(), "SELECT seq FROM events_floor WHERE id = 1");
  };
  constexpr int64_t kStride = 4096;
  EventDb db;
  ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
  // Row 7 is held back (its first write failed) and comes later.
  std::vector<EventRow> rows = NumberedRows(kStride + 10);
  EventRow held = rows[6];
  rows.erase(rows.begin() + 6);
  ASSERT_TRUE(db.Write(rows, {}, nullptr, 1));
  std::vector<FateUpdate> delivered;
  for (int64_t seq = 1; seq < kStride; ++seq)
    if (seq != 7)
      delivered.push_back({test::FileKey(seq), EventTarget::Console, EventFate::Delivered});
  // One row short of a stride: the floor stays where it was.
  ASSERT_TRUE(db.Write({}, delivered, nullptr, kStride));
  EXPECT_EQ(storedFloor(), 1);
  ASSERT_TRUE(db.Write({}, {{test::FileKey(kStride), EventTarget::Console, EventFate::Delivered}},
                       nullptr, kStride + 1));
  EXPECT_EQ(storedFloor(), kStride + 1);
  db.Close();
  ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
  std::vector<EventRow> pending = db.Pending();
  ASSERT_EQ(pending.size(), 10u);
  EXPECT_EQ(pending.front().seq, kStride + 1);  // the row at the floor
  // A row numbered below the floor, written late, brings the floor down.
  ASSERT_TRUE(db.Write({held}, {}, nullptr, 7));
  EXPECT_EQ(storedFloor(), 7);
  db.Close();
  ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
  pending = db.Pending();
  ASSERT_EQ(pending.size(), 11u);
  EXPECT_EQ(pending.front().seq, 7);
}

// A file of an earlier build kept an index of its pending rows and no floor
// (or a floor it did not keep up to date): opened, it gets its floor from
// that index, and the index goes.
TEST(EventDbTest, AnEarlierFilesPendingIndexGivesTheFloorAndGoes) {
  StoreDir dir;
  {
    EventDb db;
    ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
    EXPECT_TRUE(db.TakeOpenNotes().empty());  // a new file is no upgrade
    ASSERT_TRUE(db.Write(NumberedRows(6), {}, nullptr));
    ASSERT_TRUE(db.Write({},
                         {{test::FileKey(1), EventTarget::Console, EventFate::Delivered},
                          {test::FileKey(2), EventTarget::Console, EventFate::Delivered},
                          {test::FileKey(4), EventTarget::Console, EventFate::Delivered}},
                         nullptr));
  }
  const auto exec = [&](const char* sql) { EXPECT_TRUE(test::FileExec(dir.Path(), sql)) << sql; };
  const auto count = [&](const char* sql) { return test::FileNumber(dir.Path(), sql); };
  const char* kEarlierIndex =
      "CREATE INDEX events_pending ON events(seq) WHERE console_state = 1 OR notice_state = 1";
  for (const char* before : {"DROP TABLE events_floor",               // made before the floor
                             "UPDATE events_floor SET seq = 100"}) {  // a floor not kept
    exec(before);
    exec(kEarlierIndex);
    EventDb db;
    ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened) << before;
    EXPECT_EQ(Seqs(db.Pending()), (std::vector<int64_t>{3, 5, 6})) << before;
    EXPECT_EQ(db.TakeOpenNotes(),
              std::vector<std::string>{"events file " + dir.Path() +
                                       " of an earlier version brought up to date (6 events)"})
        << before;
    // Once brought up to date it opens as it is.
    db.Close();
    ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
    EXPECT_TRUE(db.TakeOpenNotes().empty()) << before;
    db.Close();
    EXPECT_EQ(count("SELECT seq FROM events_floor"), 3) << before;
    EXPECT_EQ(count("SELECT count(*) FROM sqlite_master WHERE name = 'events_pending'"), 0);
  }
}

// Fates of one commit are folded per row: both targets of a row in one
// statement, the last fate given for a target winning, other rows untouched.
TEST(EventDbTest, FatesOfOneCommitAreFoldedPerRowAndTheLastForATargetWins) {
  StoreDir dir;
  EventDb db;
  ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
  ASSERT_TRUE(db.Write(RowsForConsoleAndClient(4), {}, nullptr));
  ASSERT_TRUE(db.Write({},
                       {{test::FileKey(1), EventTarget::Notice, EventFate::Delivered},
                        {test::FileKey(2), EventTarget::Console, EventFate::Delivered},
                        {test::FileKey(1), EventTarget::Console, EventFate::Dropped},
                        {test::FileKey(3), EventTarget::Console, EventFate::Delivered},
                        {test::FileKey(3), EventTarget::Console, EventFate::Pending},
                        {test::FileKey(4), EventTarget::Notice, EventFate::Dropped}},
                       nullptr));
  const std::vector<EventRow> pending = db.Pending();
  ASSERT_EQ(Seqs(pending), (std::vector<int64_t>{2, 3, 4}));
  EXPECT_EQ(pending[0].console, EventFate::Delivered);
  EXPECT_EQ(pending[0].notice, EventFate::Pending);
  EXPECT_EQ(pending[1].console, EventFate::Pending);  // the later fate of the same target
  EXPECT_EQ(pending[1].notice, EventFate::Pending);
  EXPECT_EQ(pending[2].console, EventFate::Pending);
  EXPECT_EQ(pending[2].notice, EventFate::Dropped);
  EventRow first;
  ASSERT_TRUE(db.Read(
      EventQuery{},
      [&](const EventRow& r) {
        if (r.seq == 1) first = r;
        return true;
      },
      nullptr));
  EXPECT_EQ(first.seq, 1);
  EXPECT_EQ(first.console, EventFate::Dropped);
  EXPECT_EQ(first.notice, EventFate::Delivered);
}

// Fates are written over runs of consecutive rows with the same fates: a
// gap, another fate or another target ends a run.
TEST(EventDbTest, FatesOfConsecutiveRowsReachExactlyTheirRows) {
  StoreDir dir;
  EventDb db;
  ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
  ASSERT_TRUE(db.Write(RowsForConsoleAndClient(10), {}, nullptr));
  const auto fate = [](int64_t seq, EventTarget target, EventFate f) {
    return FateUpdate{test::FileKey(seq), target, f};
  };
  const EventTarget c = EventTarget::Console, n = EventTarget::Notice;
  const EventFate done = EventFate::Delivered;
  ASSERT_TRUE(db.Write({},
                       {fate(5, c, done), fate(3, c, done), fate(2, c, done), fate(4, c, done),
                        fate(4, n, done), fate(3, n, done), fate(7, c, done), fate(8, c, done),
                        fate(9, c, EventFate::Dropped), fate(10, c, done)},
                       nullptr));
  std::map<int64_t, std::pair<EventFate, EventFate>> seen;
  ASSERT_TRUE(db.Read(
      EventQuery{},
      [&](const EventRow& r) {
        seen[r.seq] = {r.console, r.notice};
        return true;
      },
      nullptr));
  const EventFate p = EventFate::Pending;
  const std::map<int64_t, std::pair<EventFate, EventFate>> expected{
      {1, {p, p}},       {2, {done, p}}, {3, {done, done}},
      {4, {done, done}}, {5, {done, p}}, {6, {p, p}},
      {7, {done, p}},    {8, {done, p}}, {9, {EventFate::Dropped, p}},
      {10, {done, p}}};
  EXPECT_EQ(seen, expected);
}

TEST(EventDbTest, DamagedFileIsSetAsideAndANewOneMade) {
  StoreDir dir;
  {
    std::ofstream junk(dir.Path());
    junk << std::string(8192, 'x');
  }
  EventDb db;
  ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Recreated);
  EXPECT_EQ(db.MaxSeq(), 0);
  const QStringList aside =
      QDir(dir.dir.path()).entryList({QStringLiteral("Events.db.corrupt-*")}, QDir::Files);
  ASSERT_EQ(aside.size(), 1);
  // Told once, with the name it was set aside under.
  const std::vector<std::string> notes = db.TakeOpenNotes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].rfind("events file " + dir.Path() + " damaged (", 0), 0u) << notes[0];
  EXPECT_NE(notes[0].find("set aside as " + dir.dir.filePath(aside[0]).toStdString() +
                          ", a new one made"),
            std::string::npos)
      << notes[0];
  EXPECT_TRUE(db.TakeOpenNotes().empty());
}

TEST(EventDbTest, QueryFiltersByAccountTimeAndPagesNewestFirst) {
  StoreDir dir;
  EventDb db;
  ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
  std::vector<EventRow> rows;
  for (int i = 1; i <= 6; ++i) {
    rows.push_back(TcpRow("e"));
    rows.back().seq = i;
    rows.back().receivedMs = 1000 * i;
    rows.back().account = i % 2 ? "1234" : "5678";
  }
  ASSERT_TRUE(db.Write(rows, {}, nullptr));
  const auto run = [&](const EventQuery& q) {
    std::vector<int64_t> seqs;
    EXPECT_TRUE(db.Read(
        q, [&](const EventRow& r) { return seqs.push_back(r.seq), true; }, nullptr));
    return seqs;
  };
  const auto query = [](const char* account, int64_t since, int64_t until, int64_t before,
                        int limit, bool newestFirst) {
    EventQuery q;
    q.account = account;
    q.sinceMs = since;
    q.untilMs = until;
    q.beforeSeq = before;
    q.limit = limit;
    q.newestFirst = newestFirst;
    return q;
  };
  const struct {
    EventQuery query;
    std::vector<int64_t> seqs;
  } cases[] = {
      // account, since, until, before, limit, newest first
      {query("", 0, 0, 0, 0, false), {1, 2, 3, 4, 5, 6}},
      {query("1234", 0, 0, 0, 0, false), {1, 3, 5}},
      {query("123", 0, 0, 0, 0, false), {}},  // a near-miss matches nothing
      {query("", 2000, 4000, 0, 0, false), {2, 3, 4}},
      {query("", 0, 0, 0, 2, true), {6, 5}},
      {query("", 0, 0, 5, 2, true), {4, 3}},
      {query("5678", 0, 0, 6, 0, true), {4, 2}},
  };
  for (const auto& c : cases) EXPECT_EQ(run(c.query), c.seqs);
}

// Reads of one account's rows (its history) in both orders and with a limit.
std::vector<int64_t> AccountSeqs(EventDb& db, const char* account, bool newestFirst, int limit,
                                 int64_t sinceMs = 0) {
  EventQuery q;
  q.account = account;
  q.newestFirst = newestFirst;
  q.limit = limit;
  q.sinceMs = sinceMs;
  std::vector<int64_t> seqs;
  EXPECT_TRUE(db.Read(
      q, [&](const EventRow& r) { return seqs.push_back(r.seq), true; }, nullptr));
  return seqs;
}

// The account index is filled in strides: one row short of a stride leaves
// every row above the mark, a whole stride indexes them all, a row written
// late below the mark is indexed at once, and pruned rows leave the index.
// A history read finds the same rows on both sides of the mark, after a
// reopen and through a read-only opener.
TEST(EventDbTest, RowsByAccountAreFoundOnBothSidesOfTheIndexMarkWhichMovesInStrides) {
  StoreDir dir;
  constexpr int64_t kStride = 4096;
  const auto mark = [&] {
    return test::FileNumber(dir.Path(), "SELECT seq FROM events_indexed WHERE id = 1");
  };
  const auto entries = [&] {
    return test::FileNumber(dir.Path(), "SELECT count(*) FROM events_by_account");
  };
  const auto row = [](int64_t seq) {
    EventRow r = TcpRow("e", EventFate::Delivered);
    r.seq = seq;
    r.receivedMs = seq;
    r.account = seq % 2 ? "1234" : "5678";
    return r;
  };
  EventDb db;
  ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
  std::vector<EventRow> rows;
  for (int64_t seq = 1; seq < kStride; ++seq)
    if (seq != 7) rows.push_back(row(seq));  // 7 is held back and comes late
  ASSERT_TRUE(db.Write(rows, {}, nullptr));
  EXPECT_EQ(mark(), 0);
  EXPECT_EQ(entries(), 0);
  EXPECT_EQ(AccountSeqs(db, "5678", true, 3), (std::vector<int64_t>{4094, 4092, 4090}));
  ASSERT_TRUE(db.Write({row(kStride)}, {}, nullptr));
  EXPECT_EQ(mark(), kStride);
  EXPECT_EQ(entries(), kStride - 1);
  ASSERT_TRUE(db.Write({row(4097), row(4098), row(4099), row(7)}, {}, nullptr));
  EXPECT_EQ(mark(), kStride);
  EXPECT_EQ(entries(), kStride);  // the late row, and none of the three above the mark
  const auto check = [&](EventDb& reader, const char* how) {
    EXPECT_EQ(AccountSeqs(reader, "1234", true, 3), (std::vector<int64_t>{4099, 4097, 4095}))
        << how;
    EXPECT_EQ(AccountSeqs(reader, "1234", false, 4), (std::vector<int64_t>{1, 3, 5, 7})) << how;
    EXPECT_EQ(AccountSeqs(reader, "1234", false, 0, 4090),
              (std::vector<int64_t>{4091, 4093, 4095, 4097, 4099}))
        << how;
    EXPECT_EQ(AccountSeqs(reader, "5678", true, 2), (std::vector<int64_t>{4098, 4096})) << how;
    EXPECT_EQ(AccountSeqs(reader, "1234", false, 0).size(), 2050u) << how;
    EXPECT_EQ(AccountSeqs(reader, "123", false, 0), (std::vector<int64_t>{})) << how;
  };
  check(db, "writer");
  db.Close();
  ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
  check(db, "reopened");
  EventDb reader;
  ASSERT_TRUE(reader.OpenReadOnly(dir.Path(), nullptr));
  check(reader, "read-only");
  reader.Close();
  EXPECT_EQ(db.Prune(11, 100), 10);
  EXPECT_EQ(entries(), kStride - 10);
  EXPECT_EQ(AccountSeqs(db, "1234", false, 2), (std::vector<int64_t>{11, 13}));
}

// A file of an earlier build kept SQLite's index of every account: a reader
// reads it through that index, and a writer opening it makes the entries of
// all its rows and drops the index. So does a file that an earlier build
// wrote to after a later one had made its entries.
TEST(EventDbTest, AnEarlierFilesAccountIndexFillsTheEntriesAndGoes) {
  StoreDir dir;
  {
    EventDb db;
    ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
    std::vector<EventRow> rows = NumberedRows(6);
    for (EventRow& r : rows) r.account = r.seq % 2 ? "1234" : "5678";
    ASSERT_TRUE(db.Write(rows, {}, nullptr));
  }
  const auto exec = [&](const char* sql) { EXPECT_TRUE(test::FileExec(dir.Path(), sql)) << sql; };
  const auto number = [&](const char* sql) { return test::FileNumber(dir.Path(), sql); };
  exec(
      "DROP TRIGGER events_by_account_gone; DROP TABLE events_by_account;"
      " DROP TABLE events_indexed; CREATE INDEX events_account ON events(account, seq)");
  {
    EventDb reader;
    ASSERT_TRUE(reader.OpenReadOnly(dir.Path(), nullptr));
    EXPECT_EQ(AccountSeqs(reader, "5678", true, 0), (std::vector<int64_t>{6, 4, 2}));
  }
  {
    EventDb db;
    ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
    EXPECT_EQ(AccountSeqs(db, "5678", true, 0), (std::vector<int64_t>{6, 4, 2}));
  }
  EXPECT_EQ(number("SELECT count(*) FROM events_by_account"), 6);
  EXPECT_EQ(number("SELECT seq FROM events_indexed"), 6);
  EXPECT_EQ(number("SELECT count(*) FROM sqlite_master WHERE name = 'events_account'"), 0);
  // An earlier build adds its index again and a row the entries lack.
  exec(
      "CREATE INDEX events_account ON events(account, seq);"
      " INSERT INTO events(seq, received_ms, road, line, peer, account, raw, console_text,"
      " console_state, notice_text, notice_state) SELECT 7, received_ms, road, line, peer,"
      " '5678', raw, console_text, console_state, notice_text, notice_state FROM events"
      " WHERE seq = 6");
  EventDb db;
  ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
  EXPECT_EQ(AccountSeqs(db, "5678", true, 0), (std::vector<int64_t>{7, 6, 4, 2}));
  EXPECT_EQ(number("SELECT count(*) FROM events_by_account"), 7);
  EXPECT_EQ(number("SELECT seq FROM events_indexed"), 7);
}

TEST(EventDbTest, PruneRemovesOldRowsButNeverAPendingOne) {
  StoreDir dir;
  EventDb db;
  ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
  std::vector<EventRow> rows;
  for (int i = 1; i <= 5; ++i) {
    rows.push_back(TcpRow("e", i == 2 ? EventFate::Pending : EventFate::Delivered));
    rows.back().seq = i;
    rows.back().receivedMs = 1000 * i;
  }
  ASSERT_TRUE(db.Write(rows, {}, nullptr));
  EXPECT_EQ(db.Prune(4000, 2), 2);  // 1 and 3
  EXPECT_EQ(db.Prune(4000, 2), 0);  // 2 is pending, 4 is not old enough
  EXPECT_EQ(Seqs(db.Pending()), (std::vector<int64_t>{2}));
  EXPECT_EQ(db.MaxSeq(), 5);
}

// A child writes rows through the store's thread and reports each commit
// through a pipe; it is killed with SIGKILL mid-burst. Every reported row
// must be in the file afterwards, found by a new opener's WAL recovery.
TEST(EventDbTest, EveryCommittedRowSurvivesAStoreKilledMidBurst) {
  StoreDir dir;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    EventStore store(dir.Path(), nullptr);
    if (!store.Start(nullptr, nullptr)) _exit(1);
    for (int64_t committed = 1;; ++committed) {
      // Rows without a waiter share the commits of the waited-for ones.
      for (int i = 0; i < 3; ++i) store.Add(TcpRow("burst"), nullptr);
      if (!store.AddAndWait(TcpRow("5011 181234E13001015"), 1000, nullptr)) _exit(2);
      const int64_t rows = committed * 4;
      if (write(fds[1], &rows, sizeof rows) != sizeof rows) _exit(3);
    }
  }
  close(fds[1]);
  int64_t acknowledged = 0, rows = 0;
  while (acknowledged < 400 && read(fds[0], &rows, sizeof rows) == sizeof rows) acknowledged = rows;
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  close(fds[0]);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_GE(acknowledged, 400);

  EventDb db;
  ASSERT_NE(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Failed);
  EXPECT_GE(db.MaxSeq(), acknowledged);
  const std::vector<EventRow> pending = db.Pending();
  ASSERT_EQ(int64_t(pending.size()), db.MaxSeq());
  EXPECT_EQ(pending.back().seq, db.MaxSeq());  // no gaps: seq k is the k-th row
}

}  // namespace
}  // namespace quell

namespace quell {
namespace {

// A file made before rows had an SIA code and a copy key gets both columns
// when opened; its rows keep everything and read back with them empty.
TEST(EventDbColumnsTest, AnOlderFileGainsTheNewColumnsAndTheCopyKeysReadBack) {
  test::StoreDir dir;
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.Path().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE events(seq INTEGER PRIMARY KEY, received_ms INTEGER NOT"
                           " NULL, road TEXT NOT NULL, line TEXT NOT NULL, peer TEXT NOT NULL,"
                           " account TEXT NOT NULL, raw BLOB NOT NULL, console_text BLOB NOT NULL,"
                           " console_state INTEGER NOT NULL, notice_text BLOB NOT NULL,"
                           " notice_state INTEGER NOT NULL);"
                           "INSERT INTO events VALUES(1, 1000, 'tcp', '8097', 'p', '1234', 'r',"
                           " 'c', 1, '', 0);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  EventDb db;
  ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);
  std::vector<EventRow> pending = db.Pending();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].raw, "r");
  EXPECT_TRUE(pending[0].copyKey.empty());
  std::vector<EventRow> rows;
  for (int i = 2; i <= 4; ++i) {
    rows.push_back(test::TcpRow("5114 18AAAAE13001015"));
    rows.back().seq = i;
    rows.back().receivedMs = 1000 * i;
    rows.back().sia = "BA15";
    rows.back().copyKey = i == 4 ? "AAAA:0123456789ABCDEF" : "AAAA:FEDCBA9876543210";
  }
  ASSERT_TRUE(db.Write(rows, {}, nullptr));
  const std::vector<RecentCopy> copies = db.RecentCopies(3000, 10);
  ASSERT_EQ(copies.size(), 2u);  // rows 3 and 4, oldest first
  EXPECT_EQ(copies[0].receivedMs, 3000);
  EXPECT_EQ(copies[1].copyKey, "AAAA:0123456789ABCDEF");
  EXPECT_EQ(db.RecentCopies(0, 1).size(), 1u);     // the newest only
  EXPECT_TRUE(db.RecentCopies(4001, 10).empty());  // the window starts after the newest
  EXPECT_EQ(db.RecentCopies(4000, 10).size(), 1u);
  // A row received before the window (the clock was set back) is not read,
  // even when numbered after rows inside it.
  rows = {test::TcpRow("5114 18AAAAE13001015")};
  rows[0].seq = 5;
  rows[0].receivedMs = 2500;
  rows[0].sia = "BA15";
  rows[0].copyKey = "AAAA:1111111111111111";
  ASSERT_TRUE(db.Write(rows, {}, nullptr));
  ASSERT_EQ(db.RecentCopies(3000, 10).size(), 2u);
  db.Close();
  {
    // A file of the build that indexed the copy keys loses that index.
    ASSERT_TRUE(test::FileExec(dir.Path(), "CREATE INDEX events_copy_key ON events(copy_key)"));
  }
  ASSERT_EQ(db.Open(dir.Path(), nullptr), EventDb::OpenResult::Opened);  // columns not added twice
  EXPECT_EQ(db.Pending().back().sia, "BA15");
  db.Close();
  EXPECT_EQ(test::FileNumber(dir.Path(),
                             "SELECT count(*) FROM sqlite_master WHERE name = 'events_copy_key'"),
            0);
}

}  // namespace
}  // namespace quell
