#pragma once
// The event store on a PostgreSQL server: EventLog on a thread of its own,
// with the contract of the SQLite store. Each group of rows is written by
// one statement over arrays of binary values (one round trip), which also
// records the fates waiting and this gateway's heartbeat. Rows are keyed by
// (node, run, seq): run is drawn at random at each start, so numbering never
// depends on reading the server first.
//
// A commit whose connection breaks or whose deadline passes after it was
// sent is in doubt: the store reconnects, ends the old session when it is
// the same server, then reads which of the rows are there (equal content:
// stored; different: not stored, journalled), writes the others with this
// node's heartbeat, and only then reports the group. Its senders wait at
// most kDoubtWaitMs, then hear "not stored"; a row found stored after that
// is handed on as pending anyway, so it is still delivered.
//
// What a pair of gateways on one database uses: each row keeps its key
// (node, run, seq) everywhere, so SetFate reaches a row of an earlier run
// or of another node. ReadPendingOfAllNodes reads what waits for delivery
// across nodes (a standby taking over). With Options::others set, the
// store's commits notify channel kChannel (on commit only: NOTIFY is
// transactional), its session LISTENs, and it scans the other nodes'
// pending rows every scanMs as the net for lost notifications; what it
// learns reaches others on the main thread. Without others nothing is
// notified, listened to or scanned.
#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/loop_wake.h"
#include "core/meter.h"
#include "store/event_backend.h"
#include "store/event_db.h"
#include "store/pending_floors.h"
#include "store/pending_rows.h"
#include "store/pg_conn.h"
#include "store/row_intake.h"

namespace quell {

class PgEventStore final : public EventBackend, private RowIntake {
 public:
  static constexpr int kRoundTripMs = 2000;    // every round trip's deadline
  static constexpr int kCommitMs = 5000;       // a commit's deadline
  static constexpr int kRetryFirstMs = 200;    // the first reconnect's delay
  static constexpr int kRetryMostMs = 2000;    // the reconnect delay doubles up to this
  static constexpr int kHeartbeatMs = 5000;    // a heartbeat after this long without a commit
  static constexpr int kScanMs = 5000;         // other nodes' pending rows read this often
  static constexpr int kWritableMs = 2000;     // a commit outstanding longer: not writable
  static constexpr int kDoubtWaitMs = 10'000;  // senders wait this long for a doubt's end
  static constexpr int kPruneIntervalMs = 60'000;
  static constexpr int kPruneStepRows = 200;
  // A session holding this node's name whose heartbeat is older is stale.
  static constexpr int kStaleMs = 15'000;
  // The newest rows told to the meter at the first connection.
  static constexpr int kRecentRows = 50;
  // At most this many DC-09 copy keys are read at the first connection.
  static constexpr int kRecentCopiesRead = 16'384;
  // The channel of the rows committed, payload "node run first last".
  static constexpr const char* kChannel = "quell_rows";

  // What the store learnt of other nodes' rows: rows pending it had not
  // reported yet (in the shared order), and rows it had reported (or
  // returned from ReadPendingOfAllNodes) that wait for nothing any more.
  struct OtherRows {
    std::vector<EventRow> pending;
    std::vector<RowKey> settled;
  };

  struct Options {
    std::string conninfo;
    std::string node;
    int keepDays = 0;  // 0: keep everything
    // UTC milliseconds (default: the system clock).
    std::function<int64_t()> nowMs;
    // Runs on the main thread with a line for the journal: a commit in
    // doubt, and how it was resolved.
    std::function<void(const std::string&)> note;
    // Runs on the main thread once, at the first connection, with the DC-09
    // copy keys of this node's rows received within copiesWindowMs (at most
    // kRecentCopiesRead of the newest, oldest first). Null: not read.
    std::function<void(std::vector<RecentCopy>)> copies = nullptr;
    int64_t copiesWindowMs = 0;
    // Written with this node's row at each connection: what the gateway
    // was started with (a digest of its configuration files).
    std::string configDigest = {};
    // A heartbeat after this long without a commit (a pair: 1 s).
    int heartbeatMs = kHeartbeatMs;
    // A pair: runs on the main thread with what the store learns of rows
    // other nodes commit (by notification at once, by a scan every scanMs).
    // Null: nothing is notified, listened to or scanned.
    std::function<void(OtherRows)> others = nullptr;
    int scanMs = kScanMs;
  };

  // context: an object on the main thread whose event loop runs the
  // completions and late (rows pending from earlier runs of this node).
  PgEventStore(Options options, QObject* context, LatePending late);
  // Writes what is queued while the server answers, then stops the thread.
  ~PgEventStore() override;
  PgEventStore(const PgEventStore&) = delete;
  PgEventStore& operator=(const PgEventStore&) = delete;

  // Tells meter (null: nobody) of each commit, each failed write, what
  // waits for delivery and, at the first connection, the newest rows.
  // Called before Start.
  void SetMeter(Meter* meter) { meter_ = meter; }

  // Starts the thread; it connects (and reconnects) on its own.
  void Start();

  // Keys are (node, this run, seq).
  RowKey Add(EventRow row, Done done, bool keep = false) override {
    return Queue(std::move(row), std::move(done), keep);
  }
  RowKey AddGroup(std::vector<EventRow> rows, Done done) override {
    return QueueGroup(std::move(rows), std::move(done));
  }
  RowKey AddAndWait(EventRow row, int timeoutMs, const std::atomic<bool>* cancel) override {
    return QueueAndWait(std::move(row), timeoutMs, cancel);
  }
  // Any node's row, of any run.
  void SetFate(const RowKey& key, EventTarget target, EventFate fate) override {
    QueueFate(key, target, fate);
  }

  // Runs done on the main thread with every node's rows that wait for a
  // delivery, in the shared order (received time, node, run, seq), each
  // with its key; ok false (no rows) when the server could not be read at
  // the next turn of the store's thread. Other nodes' rows returned count
  // as reported to others: later only their settling is.
  using AllPending = std::function<void(bool ok, std::vector<EventRow> rows)>;
  void ReadPendingOfAllNodes(AllPending done);
  bool Writable() const override;
  std::string LastError() const override;

  int64_t RunId() const { return run_; }
  NodeName Node() const { return node_; }
  // The server session of the store's connection (0: not connected).
  int BackendPid() const { return pid_.load(); }
  size_t HeldRows() const { return heldCount_.load(); }
  // Rows found stored by a commit in doubt after their sender had been
  // told "not stored", since the start.
  uint64_t LateStoredRows() const { return lateStored_.load(); }

 private:
  struct Doubt {
    std::vector<Item> items;  // held rows first, then the group's
    int64_t sinceMs = 0;
    int oldPid = 0;
    std::string systemId;   // the server of the commit
    bool reported = false;  // the senders have heard the outcome
  };
  struct Mailbox;

  void Loop();
  void Step(std::deque<Item>& items, std::vector<FateUpdate>& fates);
  bool Connect();
  bool Setup(std::string* error);
  bool ReadPending(std::string* error);
  // The floors ("node, run, seq" each) of the nodes `where` selects.
  pg::Conn::Outcome ReadFloors(const std::string& where, const std::vector<pg::Param>& params,
                               std::vector<RowKey>* floors, std::string* error);
  // The rows pending of one run from its floor, in seq order, `columns` of each.
  pg::Conn::Outcome ReadFromFloor(const RowKey& floor, const std::string& columns, int timeoutMs,
                                  pg::Result* r, std::string* error);
  // The rows pending of the nodes `where` selects, a vector for each run in
  // seq order, with the run's start time.
  pg::Conn::Outcome ReadPendingRows(const std::string& where, const std::vector<pg::Param>& params,
                                    std::vector<std::vector<EventRow>>* runs,
                                    std::vector<int64_t>* runStartedMs, std::string* error);
  // Writes rows and fates with the heartbeat; false when the connection
  // broke (doubt set when it broke after sending) or the server refused.
  // found: rows of a commit in doubt found stored, told to the meter with
  // this commit's.
  bool Commit(std::vector<Item>& items, std::vector<FateUpdate>& fates,
              const std::vector<EventRow>* found = nullptr);
  // At the first connection: the newest rows for the meter and the copy
  // keys, kept until the pending rows are read too.
  bool ReadStartRows(std::string* error);
  // What waits for delivery, kept from the rows written and read back.
  void Remember(const std::vector<EventRow>& rows, const std::vector<FateUpdate>& fates);
  // This node's fates just committed, for the floors.
  void FloorFates(const std::vector<FateUpdate>& fates);
  // The floors (runs, seqs) as a commit's parameters; from as Floors takes it.
  std::pair<pg::Param, pg::Param> FloorParams(int64_t from) const;
  void TellPending();
  bool Resolve();
  void Heartbeat();
  bool PruneStep();
  // A pair's reads of other nodes' rows, and the asks for all pending rows;
  // false when the connection broke.
  bool Learn();
  // Another node's rows first..last of run, those still pending.
  bool ReadNotified(const std::string& node, int64_t run, int64_t first, int64_t last,
                    OtherRows* out, std::string* error);
  bool Scan(OtherRows* out, std::string* error);
  // Rows of the result (event columns) not yet told go to out as pending.
  void TellNew(const PGresult* r, OtherRows* out);
  void AnswerAsks();
  // Waits for rows queued or the server's socket, at most ms (a pair).
  void WaitForWork(std::unique_lock<std::mutex>& g, int64_t ms);
  // Closes the connection and makes it again after the retry delay,
  // which doubles up to its most.
  void Reconnect();
  // A broken connection: the error kept, then Reconnect.
  void Broke(const std::string& error);
  // A connection the server closed (restart, session ended): made again
  // from nowMs on, without the retry delay.
  void ServerClosed(int64_t nowMs);
  void Report(std::vector<Item>& items, bool stored);
  // Rows with a sender are reported not stored (it retries); the others
  // are held for a later commit and count as stored for their producer.
  void RefuseOrHold(std::vector<Item>& items);
  void Post(std::function<void()> f);
  // Main thread: runs what the store's thread has posted.
  void RunPosted();
  void Note(std::string text);
  void Failed(const std::string& error);
  void Succeeded();
  int64_t NowUtc() const;

  const Options options_;
  const int64_t runStartedMs_;
  LatePending late_;
  std::shared_ptr<Mailbox> mailbox_;
  std::unique_ptr<LoopWake> loopWake_;  // null without a context

  bool stop_ = false;
  std::string lastError_;
  std::vector<AllPending> asks_;  // ReadPendingOfAllNodes waiting for the thread

  // Store thread only.
  pg::Conn conn_;
  std::vector<Item> held_;  // rows without a sender, not yet written
  std::vector<FateUpdate> heldFates_;
  std::unique_ptr<Doubt> doubt_;
  bool pendingRead_ = false;
  int retryMs_ = kRetryFirstMs;
  int64_t reconnectAtMs_ = 0;
  int64_t lastTalkMs_ = 0;
  int64_t nextPruneMs_ = 0;
  std::string systemId_;
  int ownPid_ = 0;  // the server session of the last connection
  Meter* meter_ = nullptr;
  PendingFloors floors_;          // this node's rows pending, for the floors
  PendingRows pending_;           // rows with a delivery pending, by number
  std::vector<EventRow> recent_;  // newest first, until told at the first connection
  std::vector<RecentCopy> copies_;
  std::unordered_set<RowKey, RowKeyHash> othersTold_;  // other nodes' rows reported pending
  int64_t nextScanMs_ = 0;
  std::string learnError_;  // the last refused read of other nodes' rows, as journalled
  bool badNotificationSaid_ = false;

  std::atomic<bool> ok_{false};
  std::atomic<int64_t> outstandingSinceMs_{0};
  std::atomic<int> pid_{0};
  std::atomic<size_t> heldCount_{0};
  std::atomic<uint64_t> lateStored_{0};
  std::thread thread_;
};

}  // namespace quell
