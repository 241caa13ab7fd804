// The event store's contract on both backends, the events file and a
// PostgreSQL server: completions in sequence order, what a restart finds
// pending, bytes kept as they came, storage lost and found again, and
// storage that cannot be reached at the start. Then what only the server
// has: node names, the schema version and a commit in doubt.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <QDir>
#include <QObject>
#include <algorithm>
#include <memory>
#include <tuple>

#include "store/event_store.h"
#include "store/pg_event_store.h"
#include "store/pg_history.h"
#include "store/pg_schema.h"
#include "tests/support/loopback.h"
#include "tests/support/pg_test_db.h"
#include "tests/support/store_files.h"

namespace quell {
namespace {

using test::PgTestDb;
using test::StoreDir;
using test::TcpRow;
using test::WaitFor;

enum class Backend { Sqlite, Postgresql };

class StoreBackendsTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (Pg() && !db_.Ready()) GTEST_SKIP() << "PostgreSQL cases skipped: " << db_.WhyNot();
    ASSERT_TRUE(QDir().mkpath(data_));
  }

  bool Pg() const { return GetParam() == Backend::Postgresql; }

  // A store on the test's storage; rows pending from earlier runs are
  // collected in late_ (on the server: once connected).
  std::unique_ptr<EventBackend> Open(bool expectWritable = true, const std::string& node = "gw1") {
    late_.clear();
    const auto late = [this](std::vector<EventRow> rows) {
      for (EventRow& r : rows) late_.push_back(std::move(r));
    };
    std::unique_ptr<EventBackend> store;
    if (Pg()) {
      auto pg = std::make_unique<PgEventStore>(
          PgEventStore::Options{db_.Conninfo(), node, 0, {}, {}}, &context_, late);
      pg->Start();
      store = std::move(pg);
    } else {
      auto file = std::make_unique<EventStore>(Path(), &context_, late);
      std::vector<EventRow> pending;
      file->Start(&pending, nullptr);
      late_ = std::move(pending);
      store = std::move(file);
    }
    if (expectWritable) {
      EXPECT_TRUE(WaitFor([&] { return store->Writable(); }, 10'000)) << store->LastError();
      WaitFor([] { return false; }, 20);  // the rows found reach the event loop
    }
    return store;
  }

  std::string Path() const { return (data_ + QStringLiteral("/Events.db")).toStdString(); }

  // The storage goes away and comes back: the events file's directory (as
  // an unmounted disk), or the server's database refusing connections.
  void Break(EventBackend& store) {
    if (!Pg()) {
      ASSERT_TRUE(QDir().rename(data_, data_ + QStringLiteral(".away")));
      return;
    }
    ASSERT_TRUE(db_.Exec("ALTER DATABASE " + DbName() + " ALLOW_CONNECTIONS false", true))
        << db_.Error();
    ASSERT_TRUE(
        db_.Exec("SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity WHERE datname = '" +
                     DbName() + "' AND pid <> pg_backend_pid()",
                 true));
    (void)store;
  }
  void Mend() {
    if (!Pg()) {
      ASSERT_TRUE(QDir().rename(data_ + QStringLiteral(".away"), data_));
      return;
    }
    ASSERT_TRUE(db_.Exec("ALTER DATABASE " + DbName() + " ALLOW_CONNECTIONS true", true));
  }
  std::string DbName() const { return db_.Conninfo().substr(db_.Conninfo().rfind('=') + 1); }

  // Adds a row and waits for its completion: 1 stored, 0 not stored, -1 none.
  int AddAndSee(EventBackend& store, EventRow row, bool keep = false, RowKey* key = nullptr) {
    int outcome = -1;
    const RowKey k = store.Add(
        std::move(row), [&](bool stored) { outcome = stored; }, keep);
    if (key) *key = k;
    WaitFor([&] { return outcome >= 0; }, 15'000);
    return outcome;
  }

  static std::vector<std::string> Raws(const std::vector<EventRow>& rows) {
    std::vector<std::string> raws;
    for (const EventRow& r : rows) raws.push_back(r.raw);
    return raws;
  }

  StoreDir dir_;
  const QString data_ = dir_.dir.filePath(QStringLiteral("data"));
  PgTestDb db_;
  QObject context_;
  std::vector<EventRow> late_;
};

TEST_P(StoreBackendsTest, CompletionsInOrderAndARestartHandsBackWhatIsPending) {
  std::vector<RowKey> seqs;
  {
    auto store = Open();
    std::vector<std::pair<RowKey, bool>> done;
    for (int i = 0; i < 50; ++i) {
      auto seq = std::make_shared<RowKey>();
      *seq = store->Add(TcpRow("e" + std::to_string(i)),
                        [&done, seq](bool stored) { done.emplace_back(*seq, stored); });
      seqs.push_back(*seq);
    }
    EXPECT_TRUE(done.empty());  // nothing runs before the event loop does
    ASSERT_TRUE(WaitFor([&] { return done.size() == 50; }));
    for (size_t i = 0; i < done.size(); ++i) EXPECT_EQ(done[i], std::make_pair(seqs[i], true));
    for (size_t i = 0; i < seqs.size(); i += 2)
      store->SetFate(seqs[i], EventTarget::Console, EventFate::Delivered);
  }  // the destructor writes the queued fates
  {
    auto store = Open();
    ASSERT_EQ(late_.size(), 25u);
    EXPECT_EQ(late_.front().raw, "e1");
    EXPECT_EQ(late_.back().raw, "e49");
    // Fates of rows of the earlier run reach them by their keys.
    for (const EventRow& r : late_) {
      EXPECT_TRUE(store->Add(TcpRow("x", EventFate::Delivered), nullptr));
      store->SetFate(r.Key(), EventTarget::Console, EventFate::Delivered);
    }
  }
  auto store = Open();
  EXPECT_TRUE(late_.empty()) << late_.size();
}

TEST_P(StoreBackendsTest, EveryByteOfEveryFieldIsKept) {
  EventRow row = TcpRow(std::string("\x00\xff raw\r\n", 8));
  row.line = "\xcb\xe8\xed\xe8\xff 1";  // a line name in Windows-1251
  row.peer = "10.0.0.1:4000";
  row.account =
      "\xff\x00"
      "12";
  row.consoleText = std::string("5012 18 1130 01 001\x14\x00", 21);
  row.noticeText = "notice \xc0\xff";
  row.notice = EventFate::Pending;
  row.sia = "BA501";
  row.copyKey = "1234:00000000000000ff";
  {
    auto store = Open();
    EXPECT_EQ(AddAndSee(*store, row), 1);
  }
  auto store = Open();
  ASSERT_EQ(late_.size(), 1u);
  const EventRow& r = late_[0];
  EXPECT_EQ(r.receivedMs, row.receivedMs);
  EXPECT_EQ(r.road, row.road);
  EXPECT_EQ(r.line, row.line);
  EXPECT_EQ(r.peer, row.peer);
  EXPECT_EQ(r.account, row.account);
  EXPECT_EQ(r.raw, row.raw);
  EXPECT_EQ(r.consoleText, row.consoleText);
  EXPECT_EQ(r.noticeText, row.noticeText);
  EXPECT_EQ(r.console, EventFate::Pending);
  EXPECT_EQ(r.notice, EventFate::Pending);
  EXPECT_EQ(r.sia, row.sia);
  EXPECT_EQ(r.copyKey, row.copyKey);
}

TEST_P(StoreBackendsTest, LostStorageRefusesSendersAndKeepsSenderlessRowsUntilItIsBack) {
  {
    auto store = Open();
    ASSERT_EQ(AddAndSee(*store, TcpRow("before")), 1);
    Break(*store);
    EXPECT_EQ(AddAndSee(*store, TcpRow("from a sender")), 0);
    EXPECT_EQ(AddAndSee(*store, TcpRow("a key"), true), 1);  // held in memory
    EXPECT_FALSE(store->Writable());
    EXPECT_FALSE(store->LastError().empty());
    Mend();
    // The store reconnects (reopens) and writes the held row by itself.
    ASSERT_TRUE(WaitFor([&] { return store->Writable(); }, 10'000)) << store->LastError();
    ASSERT_EQ(AddAndSee(*store, TcpRow("after")), 1);
  }
  Open();
  EXPECT_EQ(Raws(late_), (std::vector<std::string>{"before", "a key", "after"}));
}

// Storage that cannot be reached at the start: the store runs anyway, and
// once it is reached the rows it held pending come back, ahead, and rows
// kept meanwhile neither take their numbers nor overwrite them.
TEST_P(StoreBackendsTest, StorageUnreachableAtTheStartGivesItsPendingRowsLater) {
  {
    auto store = Open();
    ASSERT_EQ(AddAndSee(*store, TcpRow("old 1")), 1);
    ASSERT_EQ(AddAndSee(*store, TcpRow("old 2")), 1);
    Break(*store);
  }
  auto store = Open(false);
  EXPECT_FALSE(store->Writable());
  EXPECT_EQ(AddAndSee(*store, TcpRow("refused")), 0);
  RowKey key, other;
  EXPECT_EQ(AddAndSee(*store, TcpRow("kept"), true, &key), 1);
  EXPECT_EQ(AddAndSee(*store, TcpRow("kept too"), true, &other), 1);
  EXPECT_TRUE(late_.empty());
  Mend();
  ASSERT_TRUE(WaitFor([&] { return Raws(late_).size() == 2; }, 10'000)) << store->LastError();
  EXPECT_EQ(Raws(late_), (std::vector<std::string>{"old 1", "old 2"}));
  ASSERT_TRUE(WaitFor([&] { return store->Writable(); }));
  // A fate by the number given while the storage was away reaches its row.
  store->SetFate(key, EventTarget::Console, EventFate::Delivered);
  EXPECT_EQ(AddAndSee(*store, TcpRow("new")), 1);
  store.reset();
  Open();
  EXPECT_EQ(Raws(late_), (std::vector<std::string>{"old 1", "old 2", "kept too", "new"}));
}

INSTANTIATE_TEST_SUITE_P(Backends, StoreBackendsTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgresql),
                         [](const auto& info) {
                           return info.param == Backend::Sqlite ? "sqlite" : "postgresql";
                         });

class PgStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!db_.Ready()) GTEST_SKIP() << "PostgreSQL cases skipped: " << db_.WhyNot();
  }
  std::unique_ptr<PgEventStore> Make(const std::string& node) {
    auto store = std::make_unique<PgEventStore>(
        PgEventStore::Options{db_.Conninfo(),
                              node,
                              0,
                              {},
                              [this](const std::string& text) { notes_.push_back(text); }},
        &context_, nullptr);
    store->Start();
    return store;
  }
  PgTestDb db_;
  QObject context_;
  std::vector<std::string> notes_;  // journal lines
};

TEST_F(PgStoreTest, ASecondGatewayOfTheSameNameDoesNotWrite) {
  auto first = Make("gw1");
  ASSERT_TRUE(WaitFor([&] { return first->Writable(); }, 10'000)) << first->LastError();
  auto second = Make("gw1");
  auto other = Make("gw2");
  ASSERT_TRUE(WaitFor([&] { return other->Writable(); }, 10'000)) << other->LastError();
  // The second one's first attempt may come after the other's.
  EXPECT_TRUE(WaitFor(
      [&] { return second->LastError().find("node name in use") != std::string::npos; }, 10'000))
      << second->LastError();
  EXPECT_FALSE(second->Writable());
  first.reset();  // its session ends, and the name is free
  EXPECT_TRUE(WaitFor([&] { return second->Writable(); }, 10'000)) << second->LastError();
}

TEST_F(PgStoreTest, ANewerSchemaThanKnownIsNeverWritten) {
  {
    auto store = Make("gw1");
    ASSERT_TRUE(WaitFor([&] { return store->Writable(); }, 10'000)) << store->LastError();
  }
  const std::string newer = std::to_string(pg::kSchemaVersion + 1);
  ASSERT_TRUE(db_.Exec("UPDATE quell_schema SET version = " + newer));
  auto store = Make("gw1");
  ASSERT_TRUE(WaitFor([&] {
    return store->LastError().find("version " + newer) != std::string::npos;
  })) << store->LastError();
  EXPECT_FALSE(store->Writable());
}

// A history of the first schema version (pending rows in a partial index)
// is brought to the current one in place: the rows pending then are found
// pending still, in their order, and the node's floors follow their fates.
TEST_F(PgStoreTest, AnOlderSchemaIsUpgradedAndItsPendingRowsStayPending) {
  {
    pg::Conn conn;
    std::string error;
    ASSERT_TRUE(conn.Connect(db_.Conninfo(), 10'000, &error)) << error;
    ASSERT_TRUE(pg::EnsureSchema(conn, 1, 10'000, &error)) << error;
  }
  // Rows of an earlier run: two pending (console, then notice), one not.
  for (const char* values : {"(7, 2, 'b', 1, 2)", "(7, 1, 'a', 2, 1)", "(7, 3, 'c', 2, 2)"})
    ASSERT_TRUE(db_.Exec(
        std::string("INSERT INTO quell_event SELECT 'gw1', run, seq, 100, 1000 + seq, 'tcp', '',"
                    " '', '', raw::bytea, 'x', c, 'y', n, '', '' FROM (VALUES ") +
        values + ") AS v(run, seq, raw, c, n)"))
        << db_.Error();
  std::vector<EventRow> late;
  PgEventStore::Options options{db_.Conninfo(), "gw1", 0, {}, {}};
  options.heartbeatMs = 100;
  auto store = std::make_unique<PgEventStore>(
      options, &context_, [&](std::vector<EventRow> rows) { late = std::move(rows); });
  store->Start();
  ASSERT_TRUE(WaitFor([&] { return late.size() == 2; }, 10'000)) << store->LastError();
  EXPECT_EQ(late[0].raw, "a");
  EXPECT_EQ(late[1].raw, "b");
  EXPECT_EQ(db_.Value("SELECT max(version) FROM quell_schema"), "2");
  const std::string found =
      "SELECT coalesce(string_agg(e.seq::text, ' ' ORDER BY e.seq), '') FROM quell_node n"
      " CROSS JOIN LATERAL unnest(n.pending_runs, n.pending_seqs) AS f(run, seq)"
      " JOIN quell_event e ON e.node = n.node AND e.run = f.run AND e.seq >= f.seq"
      " WHERE (e.console_state = 1 OR e.notice_state = 1) AND e.run = 7";
  EXPECT_EQ(db_.Value(found), "1 2");
  // A fate that leaves the other one pending keeps the row; the last ends it.
  store->SetFate(late[0].Key(), EventTarget::Console, EventFate::Delivered);
  store->SetFate(late[1].Key(), EventTarget::Console, EventFate::Delivered);
  EXPECT_TRUE(store->Add(TcpRow("new", EventFate::Delivered), nullptr));
  ASSERT_TRUE(
      WaitFor([&] { return db_.Value("SELECT count(*) FROM quell_event WHERE run <> 7") == "1"; }));
  EXPECT_EQ(db_.Value(found), "1");
  EXPECT_EQ(db_.Value("SELECT pending_seqs[array_position(pending_runs, 7::bigint)] FROM "
                      "quell_node WHERE node = 'gw1'"),
            "1");
  // The floors lag the fates of their own commit; the next heartbeat
  // writes them as those fates leave them.
  store->SetFate(late[0].Key(), EventTarget::Notice, EventFate::Delivered);
  EXPECT_TRUE(WaitFor(
      [&] { return db_.Value("SELECT pending_runs FROM quell_node WHERE node = 'gw1'") == "{}"; }));
  EXPECT_EQ(db_.Value(found), "");
}

// A key already held by another row is never taken for stored: that row
// is refused and kept as it was, and the rows after it are stored. (The
// refusal is the store's last error until its next good commit, so it is
// read before the next row is added.)
TEST_F(PgStoreTest, ARowWhoseKeyIsTakenIsRefusedAndTheRowsAfterItAreStored) {
  auto store = Make("gw1");
  ASSERT_TRUE(WaitFor([&] { return store->Writable(); }, 10'000)) << store->LastError();
  ASSERT_TRUE(db_.Exec("INSERT INTO quell_event VALUES ('gw1', " + std::to_string(store->RunId()) +
                       ", 1, 1, 1765000000000, 'tcp', '', '', '', 'other', '', 2, '', 0, '', '')"))
      << db_.Error();
  int first = -1, second = -1;
  EXPECT_EQ(store->Add(TcpRow("mine"), [&](bool stored) { first = stored; }).seq, 1);
  ASSERT_TRUE(WaitFor([&] { return first >= 0; }));
  EXPECT_EQ(first, 0);
  EXPECT_NE(store->LastError().find("keys already taken"), std::string::npos) << store->LastError();
  store->Add(TcpRow("next"), [&](bool stored) { second = stored; });
  ASSERT_TRUE(WaitFor([&] { return second >= 0; }));
  EXPECT_EQ(second, 1);
  EXPECT_EQ(db_.Value("SELECT string_agg(convert_from(raw, 'UTF8'), ' ' ORDER BY seq)"
                      " FROM quell_event"),
            "other next");
}

// The store's statements are planned once per session, on a history
// that may be empty then: a plan that reads the whole table would stay
// with every later commit. Its rows and fates must go by the keys. (The
// test reads only the server's counters, never the table itself.)
TEST_F(PgStoreTest, CommitsPlannedOnAnEmptyHistoryReachRowsByTheirKeys) {
  PgEventStore::Options options{db_.Conninfo(), "gw1", 0, {}, {}};
  options.heartbeatMs = 200;  // the session idles, and publishes, often
  auto store = std::make_unique<PgEventStore>(options, &context_, nullptr);
  store->Start();
  ASSERT_TRUE(WaitFor([&] { return store->Writable(); }, 10'000)) << store->LastError();
  std::vector<RowKey> keys;
  int stored = 0;
  for (const char* raw : {"a", "b", "c"})
    keys.push_back(store->Add(TcpRow(raw), [&](bool ok) { stored += ok; }));
  ASSERT_TRUE(WaitFor([&] { return stored == 3; }));
  // The server publishes a session's counters within a second of its
  // idling after a statement; the schema's making scanned the table before.
  const auto counters = [&] {
    return db_.Value(
        "SELECT n_tup_ins || ' ' || n_tup_upd || ' ' || seq_scan"
        " FROM pg_stat_user_tables WHERE relname = 'quell_event'");
  };
  ASSERT_TRUE(WaitFor([&] { return counters().rfind("3 0 ", 0) == 0; }, 10'000)) << counters();
  const std::string scans = counters().substr(4);
  for (const RowKey& k : keys) store->SetFate(k, EventTarget::Console, EventFate::Delivered);
  store->Add(TcpRow("d", EventFate::Delivered), [&](bool ok) { stored += ok; });
  ASSERT_TRUE(WaitFor([&] { return stored == 4; }));
  ASSERT_TRUE(WaitFor([&] { return counters().rfind("4 3 ", 0) == 0; }, 10'000)) << counters();
  EXPECT_EQ(counters(), "4 3 " + scans);
}

// Each connection writes the configuration digest with the node's row, as
// bytes (0x00 and 0xFF too); a restart with other files replaces it.
TEST_F(PgStoreTest, TheNodesRowCarriesTheConfigurationDigestOfItsLastStart) {
  const auto start = [&](const std::string& digest) {
    PgEventStore::Options o{db_.Conninfo(), "gw1", 0, {}, {}};
    o.configDigest = digest;
    auto store = std::make_unique<PgEventStore>(o, &context_, nullptr);
    store->Start();
    EXPECT_TRUE(WaitFor([&] { return store->Writable(); }, 10'000)) << store->LastError();
    return store;
  };
  const std::string sql = "SELECT encode(config_digest, 'hex') FROM quell_node WHERE node = 'gw1'";
  start(std::string("\x00\xff\x01", 3)).reset();
  EXPECT_EQ(db_.Value(sql), "00ff01");
  start("\x02").reset();
  EXPECT_EQ(db_.Value(sql), "02");
}

// A commit that gets no answer within its deadline is in doubt: the store
// reconnects, ends the old session, finds the row there or writes it, and
// only then tells the sender. The row is in the history once.
TEST_F(PgStoreTest, ACommitPastItsDeadlineIsResolvedBeforeTheSenderHears) {
  auto store = Make("gw1");
  ASSERT_TRUE(WaitFor([&] { return store->Writable(); }, 10'000)) << store->LastError();
  // A first row: the commit's statement is prepared (which waits for the
  // lock below as well, but writes nothing).
  ASSERT_TRUE(store->AddAndWait(TcpRow("first"), 5000, nullptr));
  PGconn* blocker = PQconnectdb(db_.Conninfo().c_str());
  ASSERT_EQ(PQstatus(blocker), CONNECTION_OK);
  PQclear(PQexec(blocker, "BEGIN; LOCK TABLE quell_node IN EXCLUSIVE MODE"));
  int outcome = -1;
  store->Add(TcpRow("in doubt"), [&](bool stored) { outcome = stored; });
  EXPECT_TRUE(WaitFor([&] { return !store->Writable(); }, 4000));
  ASSERT_TRUE(
      WaitFor([&] { return store->LastError().find("no answer") != std::string::npos; }, 8000))
      << store->LastError();
  EXPECT_EQ(outcome, -1);  // not yet told
  PQclear(PQexec(blocker, "COMMIT"));
  PQfinish(blocker);
  ASSERT_TRUE(WaitFor([&] { return outcome >= 0; }, 10'000));
  EXPECT_EQ(outcome, 1);
  EXPECT_EQ(db_.Value("SELECT count(*) FROM quell_event WHERE raw = 'in doubt'::bytea"), "1");
  ASSERT_EQ(notes_.size(), 2u);
  EXPECT_EQ(notes_[0].rfind("Events store: commit of 1 rows in doubt (no answer", 0), 0u)
      << notes_[0];
  // The old session may get the lock and commit before it is ended: then
  // the row is found there with the same content, else written again.
  const bool found = notes_[1].find("resolved: 1 rows found stored") != std::string::npos;
  const bool again = notes_[1].find("resolved: 0 rows found stored") != std::string::npos &&
                     notes_[1].find("1 written again") != std::string::npos;
  EXPECT_TRUE(found != again) << notes_[1];
  EXPECT_TRUE(WaitFor([&] { return store->Writable(); }));
}

// The shared history: every node's rows in (received time, node, run, seq)
// order across pages, each once; filtered by node and by account.
TEST_F(PgStoreTest, HistoryListsEveryNodeInTheSharedOrderAcrossPages) {
  constexpr int kRows = PgHistory::kPageRows + 150;  // more than one page
  {
    auto gw1 = Make("gw1");
    auto gw2 = Make("gw2");
    int stored = 0;
    for (int i = 0; i < kRows; ++i) {
      EventRow row = TcpRow(std::to_string(i));
      row.receivedMs = 1'765'000'000'000 + i / 3;  // equal times: node, run, seq decide
      row.account = i % 10 == 0 ? "7777" : "1234";
      (i % 2 ? *gw2 : *gw1).Add(std::move(row), [&](bool ok) { stored += ok; });
    }
    ASSERT_TRUE(WaitFor([&] { return stored == kRows; }, 20'000)) << stored;
  }
  const auto list = [&](const EventQuery& q, const std::string& node) {
    std::vector<std::string> keys;
    std::string error;
    EXPECT_TRUE(PgHistory::Read(
        db_.Conninfo(), q, node,
        [&](const PgHistoryRow& h) {
          keys.push_back(std::to_string(h.row.receivedMs) + " " + h.node + " " + h.row.raw);
          return true;
        },
        &error))
        << error;
    return keys;
  };
  // Expected: by received time, then node, then each node's own order.
  std::vector<std::tuple<int64_t, std::string, int>> order;
  for (int i = 0; i < kRows; ++i)
    order.emplace_back(1'765'000'000'000 + i / 3, i % 2 ? "gw2" : "gw1", i);
  std::sort(order.begin(), order.end());
  std::vector<std::string> expected;
  for (const auto& [ms, node, i] : order)
    expected.push_back(std::to_string(ms) + " " + node + " " + std::to_string(i));
  EXPECT_EQ(list({}, ""), expected);
  EXPECT_EQ(list({}, "gw2").size(), size_t(kRows / 2));
  EventQuery account;
  account.account = "7777";
  EXPECT_EQ(list(account, "").size(), size_t(kRows / 10));
  EXPECT_TRUE(list(account, "gw2").empty());  // 7777 rows are all even: gw1's
}

}  // namespace
}  // namespace quell
