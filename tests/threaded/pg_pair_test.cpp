// What a pair of gateways on one database is given by the PostgreSQL
// store: rows keyed by (node, run, seq) wherever they came from, the
// pending rows of every node, and the rows other nodes commit, learnt by
// notification and, when one is missed, by the scan.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <QObject>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/pg_event_store.h"
#include "store/pg_schema.h"
#include "tests/support/loopback.h"
#include "tests/support/pg_test_db.h"
#include "tests/support/store_files.h"

namespace quell {
namespace {

using test::PgTestDb;
using test::TcpRow;
using test::WaitFor;

class PgPairTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!db_.Ready()) GTEST_SKIP() << "PostgreSQL cases skipped: " << db_.WhyNot();
  }

  // A pair member (others set) or a gateway alone; scanMs as given.
  std::unique_ptr<PgEventStore> Make(const std::string& node, bool pair, int scanMs = 600'000) {
    PgEventStore::Options o{
        db_.Conninfo(), node, 0, {}, [this](const std::string& text) { notes_.push_back(text); }};
    if (pair) {
      o.others = [this, node](PgEventStore::OtherRows rows) {
        auto& learnt = learnt_[node];
        for (EventRow& r : rows.pending) learnt.pending.push_back(std::move(r));
        for (const RowKey& k : rows.settled) learnt.settled.push_back(k);
      };
      o.scanMs = scanMs;
    }
    auto store = std::make_unique<PgEventStore>(o, &context_, nullptr);
    store->Start();
    return store;
  }
  static void AwaitWritable(PgEventStore& store) {
    ASSERT_TRUE(WaitFor([&] { return store.Writable(); }, 10'000)) << store.LastError();
  }
  // Adds a row and waits for its commit; its key.
  static RowKey Store(PgEventStore& store, EventRow row) {
    int outcome = -1;
    const RowKey key = store.Add(std::move(row), [&](bool stored) { outcome = stored; });
    EXPECT_TRUE(WaitFor([&] { return outcome >= 0; }, 10'000));
    EXPECT_EQ(outcome, 1);
    return key;
  }
  static std::vector<RowKey> Keys(const std::vector<EventRow>& rows) {
    std::vector<RowKey> keys;
    for (const EventRow& r : rows) keys.push_back(r.Key());
    return keys;
  }
  // The fates of the row with this key, "console notice" ("" when absent).
  std::string Fates(const RowKey& k) {
    return db_.Value("SELECT console_state || ' ' || notice_state FROM quell_event WHERE node = '" +
                     k.node.str() + "' AND run = " + std::to_string(k.run) +
                     " AND seq = " + std::to_string(k.seq));
  }
  // A session holding node's name, as a running gateway of that name does.
  PGconn* HoldName(const std::string& node) {
    PGconn* c = PQconnectdb(db_.Conninfo().c_str());
    EXPECT_EQ(PQstatus(c), CONNECTION_OK);
    PQclear(PQexec(c, ("SELECT pg_advisory_lock(" + std::to_string(pg::kLockClass) +
                       ", hashtext('" + node + "'))")
                          .c_str()));
    return c;
  }

  struct Learnt {
    std::vector<EventRow> pending;
    std::vector<RowKey> settled;
  };
  PgTestDb db_;
  QObject context_;
  std::vector<std::string> notes_;
  std::map<std::string, Learnt> learnt_;  // by the node that learnt
};

// B hears of A's rows once A's commit is done, by notification (the scan
// is an hour away): only rows still waiting, each with A's key; neither
// hears of its own rows.
TEST_F(PgPairTest, TheOtherNodesCommittedRowsArriveByNotification) {
  auto a = Make("gwA", true);
  auto b = Make("gwB", true);
  AwaitWritable(*a);
  AwaitWritable(*b);
  const RowKey first = Store(*a, TcpRow("a1"));
  Store(*a, TcpRow("a2", EventFate::Delivered));
  EventRow notice = TcpRow("a3", EventFate::None);
  notice.noticeText = "n";
  notice.notice = EventFate::Pending;
  const RowKey third = Store(*a, notice);
  Store(*b, TcpRow("b1"));
  ASSERT_TRUE(WaitFor([&] { return learnt_["gwB"].pending.size() >= 2; }, 5000));
  EXPECT_EQ(Keys(learnt_["gwB"].pending), (std::vector<RowKey>{first, third}));
  EXPECT_EQ(first, (RowKey{NodeName::Of("gwA"), a->RunId(), 1}));
  EXPECT_EQ(learnt_["gwB"].pending[1].noticeText, "n");
  ASSERT_TRUE(WaitFor([&] { return learnt_["gwA"].pending.size() == 1; }, 5000));
  EXPECT_EQ(learnt_["gwA"].pending[0].raw, "b1");
  WaitFor([] { return false; }, 300);  // nothing more arrives
  EXPECT_EQ(learnt_["gwB"].pending.size(), 2u);
  EXPECT_EQ(learnt_["gwA"].pending.size(), 1u);
  EXPECT_TRUE(notes_.empty()) << notes_.front();
}

// A row committed without a notification (written by hand here) is found
// by the scan; once it waits for nothing it is reported settled, once.
TEST_F(PgPairTest, ARowWithoutNotificationIsFoundByTheScanAndItsSettlingToo) {
  auto b = Make("gwB", true, 300);
  AwaitWritable(*b);
  ASSERT_TRUE(db_.Exec(
      "INSERT INTO quell_event VALUES ('gwX', 42, 7, 1, 1765000000000, 'tcp', '8097', '', '1234',"
      " 'raw', 'text', 1, '', 0, '', '')"))
      << db_.Error();
  ASSERT_TRUE(db_.Exec(pg::kFloorsFromRows)) << db_.Error();
  ASSERT_TRUE(WaitFor([&] { return learnt_["gwB"].pending.size() == 1; }, 5000));
  const RowKey key{NodeName::Of("gwX"), 42, 7};
  EXPECT_EQ(learnt_["gwB"].pending[0].Key(), key);
  EXPECT_EQ(learnt_["gwB"].pending[0].raw, "raw");
  EXPECT_TRUE(learnt_["gwB"].settled.empty());
  ASSERT_TRUE(db_.Exec("UPDATE quell_event SET console_state = 2 WHERE node = 'gwX'"));
  ASSERT_TRUE(WaitFor([&] { return !learnt_["gwB"].settled.empty(); }, 5000));
  EXPECT_EQ(learnt_["gwB"].settled, std::vector<RowKey>{key});
  WaitFor([] { return false; }, 700);  // two more scans: said once
  EXPECT_EQ(learnt_["gwB"].settled.size(), 1u);
  EXPECT_EQ(learnt_["gwB"].pending.size(), 1u);
}

// A notification on the channel that is not the store's own form is said
// once in the journal and left alone; a good one after it still reads.
TEST_F(PgPairTest, ANotificationNotUnderstoodIsJournalledOnceAndLeftAlone) {
  auto b = Make("gwB", true);
  AwaitWritable(*b);
  ASSERT_TRUE(db_.Exec(
      "INSERT INTO quell_event VALUES ('gwX', 42, 7, 1, 1765000000000, 'tcp', '8097', '', '1234',"
      " 'raw', 'text', 1, '', 0, '', '')"));
  for (const char* bad : {"gwX 42 7", "gwX 42 7 x", "gwX 42 8 7", " 42 7 7", "gwX 42 7 7 7"})
    ASSERT_TRUE(db_.Exec(std::string("SELECT pg_notify('quell_rows', '") + bad + "')"));
  ASSERT_TRUE(WaitFor([&] { return !notes_.empty(); }, 5000));
  ASSERT_TRUE(db_.Exec("SELECT pg_notify('quell_rows', 'gwX 42 7 7')"));
  ASSERT_TRUE(WaitFor([&] { return learnt_["gwB"].pending.size() == 1; }, 5000));
  EXPECT_EQ(learnt_["gwB"].pending[0].Key(), (RowKey{NodeName::Of("gwX"), 42, 7}));
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0],
            "Events store: a notification on quell_rows not understood (left alone): gwX 42 7");
}

// B cannot reach the database while A commits (its name is held, so it
// never gets as far as LISTEN): once it connects, its first scan finds
// A's rows, though their notifications are long gone.
TEST_F(PgPairTest, RowsCommittedWhileTheOtherWasAwayAreFoundWhenItConnects) {
  PGconn* holder = HoldName("gwB");
  auto a = Make("gwA", true);
  auto b = Make("gwB", true);
  AwaitWritable(*a);
  const RowKey key = Store(*a, TcpRow("while away"));
  WaitFor([] { return false; }, 300);
  EXPECT_FALSE(b->Writable());
  EXPECT_TRUE(learnt_["gwB"].pending.empty());
  PQfinish(holder);
  AwaitWritable(*b);
  ASSERT_TRUE(WaitFor([&] { return learnt_["gwB"].pending.size() == 1; }, 5000));
  EXPECT_EQ(learnt_["gwB"].pending[0].Key(), key);
}

// Every node's rows that wait, in the shared order, keyed as their node
// keyed them; delivered rows are not among them. A gateway alone may ask
// too; unreachable, the answer says so.
TEST_F(PgPairTest, ThePendingRowsOfAllNodesComeWithTheirKeys) {
  auto a = Make("gwA", false);
  auto b = Make("gwB", false);
  AwaitWritable(*a);
  AwaitWritable(*b);
  EventRow early = TcpRow("a early");
  early.receivedMs -= 1000;
  const RowKey aEarly = Store(*a, early);
  const RowKey aDelivered = Store(*a, TcpRow("a delivered"));
  const RowKey bOwn = Store(*b, TcpRow("b own"));
  EventRow late = TcpRow("a late");
  late.receivedMs += 1000;
  const RowKey aLate = Store(*a, late);
  a->SetFate(aDelivered, EventTarget::Console, EventFate::Delivered);
  Store(*a, TcpRow("sync", EventFate::Delivered));  // the fate is written with it

  bool ok = false;
  std::vector<EventRow> rows;
  int answers = 0;
  b->ReadPendingOfAllNodes([&](bool good, std::vector<EventRow> found) {
    ok = good;
    rows = std::move(found);
    ++answers;
  });
  ASSERT_TRUE(WaitFor([&] { return answers == 1; }, 5000));
  EXPECT_TRUE(ok);
  EXPECT_EQ(Keys(rows), (std::vector<RowKey>{aEarly, bOwn, aLate}));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].raw, "a early");
  EXPECT_EQ(rows[1].raw, "b own");

  PGconn* holder = HoldName("gwC");
  auto c = Make("gwC", false);
  c->ReadPendingOfAllNodes([&](bool good, std::vector<EventRow> found) {
    ok = good;
    rows = std::move(found);
    ++answers;
  });
  ASSERT_TRUE(WaitFor([&] { return answers == 2; }, 5000));
  EXPECT_FALSE(ok);
  EXPECT_TRUE(rows.empty());
  PQfinish(holder);
}

// Rows of an earlier run keep their keys: a fate by such a key reaches
// that row, not this run's row of the same seq; a fate by another node's
// key reaches that node's row.
TEST_F(PgPairTest, AFateReachesTheRowOfItsKeyWhateverRunOrNode) {
  RowKey old;
  {
    auto a = Make("gwA", false);
    AwaitWritable(*a);
    old = Store(*a, TcpRow("old"));
  }
  std::vector<EventRow> late;
  PgEventStore::Options o{db_.Conninfo(), "gwA", 0, {}, {}};
  auto a = std::make_unique<PgEventStore>(o, &context_, [&](std::vector<EventRow> rows) {
    for (EventRow& r : rows) late.push_back(std::move(r));
  });
  a->Start();
  AwaitWritable(*a);
  ASSERT_TRUE(WaitFor([&] { return late.size() == 1; }, 5000));
  EXPECT_EQ(late[0].Key(), old);
  const RowKey now = Store(*a, TcpRow("now"));
  ASSERT_EQ(now.seq, old.seq);  // the same number in another run
  ASSERT_NE(now.run, old.run);

  a->SetFate(late[0].Key(), EventTarget::Console, EventFate::Delivered);
  Store(*a, TcpRow("sync", EventFate::Delivered));
  EXPECT_EQ(Fates(old), "2 0");
  EXPECT_EQ(Fates(now), "1 0");

  auto b = Make("gwB", false);
  AwaitWritable(*b);
  b->SetFate(now, EventTarget::Console, EventFate::Dropped);
  Store(*b, TcpRow("sync", EventFate::Delivered));
  EXPECT_EQ(Fates(now), "3 0");
}

// The heartbeat interval is a setting: a pair's store beats every second.
TEST_F(PgPairTest, TheHeartbeatComesAtTheIntervalGiven) {
  PgEventStore::Options o{db_.Conninfo(), "gwA", 0, {}, {}};
  o.heartbeatMs = 300;
  auto a = std::make_unique<PgEventStore>(o, &context_, nullptr);
  a->Start();
  AwaitWritable(*a);
  const std::string sql = "SELECT seen FROM quell_node WHERE node = 'gwA'";
  const std::string first = db_.Value(sql);
  EXPECT_TRUE(WaitFor([&] { return db_.Value(sql) != first; }, 1500)) << first;
}

}  // namespace
}  // namespace quell
