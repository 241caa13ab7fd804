#pragma once
// The event store: EventLog on a thread of its own over the events file.
// Rows are written in groups: a commit starts as soon as rows wait and none
// is running, so a burst shares one fdatasync while a single row waits for
// nothing. Completions are posted to the event loop of the context object,
// in sequence order; the main thread never waits for a commit. A row added
// with keep (no sender to retry) is reported stored also while it is held
// in memory for a later write.
//
// When a write fails (disk full, I/O error) the group has no effect: rows
// with a sender are reported not stored (the sender retries), rows without
// one are held in memory and written once writes succeed again. Before each
// commit the store checks that the path still names its open file; a file
// removed under it is created anew with every row still pending.
#include <QObject>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/event_log.h"
#include "core/loop_wake.h"
#include "core/meter.h"
#include "store/event_backend.h"
#include "store/event_db.h"
#include "store/pending_rows.h"
#include "store/row_intake.h"

namespace quell {

class EventStore final : public EventBackend, private RowIntake {
 public:
  static constexpr int kReopenIntervalMs = 1000;   // retries while writes fail
  static constexpr int kPruneIntervalMs = 60'000;  // between two pruning passes
  static constexpr int kPruneStepRows = 200;       // rows removed per step, between commits
  // Copy keys read back at start-up at most.
  static constexpr int kRecentCopiesRead = 16'384;

  // Rows added before a file that could not be opened at the start opens
  // are numbered from here; once it opens they follow its last row.
  static constexpr int64_t kUnopenedBase = int64_t(1) << 62;

  // path: the events file; context: an object living on the main thread
  // whose event loop runs the completions (none: completions never run).
  // late (if any) receives the rows pending in a file that could not be
  // opened at the start, once it opens.
  EventStore(std::string path, QObject* context, LatePending late = {});
  // Writes what is queued (as far as writes succeed), then stops the thread.
  ~EventStore() override;
  EventStore(const EventStore&) = delete;
  EventStore& operator=(const EventStore&) = delete;

  // Opens the file and starts the thread. pending receives the rows whose
  // console entry or notice was not yet delivered, in sequence order. False
  // (error set) when the file cannot be opened: the store runs anyway and
  // reports every write failed until it opens.
  // copies (if any) receives the copy keys of rows received at or after
  // copiesSinceMs (UTC; at most kRecentCopiesRead of them, oldest first).
  bool Start(std::vector<EventRow>* pending, std::string* error,
             std::vector<RecentCopy>* copies = nullptr, int64_t copiesSinceMs = 0);

  // Delivered rows older than keepDays are removed by the store's thread in
  // small steps while no row waits; a pending row is never removed. Call
  // before Start. nowMs: UTC milliseconds (default: the system clock).
  void SetRetention(int keepDays, std::function<int64_t()> nowMs = {});

  // Tells meter (null: nobody) of each commit, what waits for delivery and,
  // once the thread starts, the newest stored rows. Call before Start.
  void SetMeter(Meter* meter) { meter_ = meter; }

  // Rows are keyed by seq alone (no node, run 0).
  RowKey Add(EventRow row, Done done, bool keep = false) override {
    return Queue(std::move(row), std::move(done), keep);
  }
  RowKey AddGroup(std::vector<EventRow> rows, Done done) override {
    return QueueGroup(std::move(rows), std::move(done));
  }
  RowKey AddAndWait(EventRow row, int timeoutMs, const std::atomic<bool>* cancel) override {
    return QueueAndWait(std::move(row), timeoutMs, cancel);
  }
  void SetFate(const RowKey& key, EventTarget target, EventFate fate) override {
    QueueFate(key, target, fate);
  }
  bool Writable() const override { return writable_.load(); }

  const std::string& Path() const { return path_; }
  // The reason of the last failed write (empty while writes succeed).
  std::string LastError() const override;
  std::vector<std::string> TakeNotes() override;
  // Rows held in memory because they could not be written.
  size_t HeldRows() const;
  // Counters for the benchmark: rows written, commits, and the duration of
  // every commit in microseconds since the last call.
  struct Stats {
    uint64_t rows = 0;
    uint64_t commits = 0;
  };
  Stats Counters() const;
  std::vector<int> TakeCommitMicros();

 private:
  void Run();
  // Store thread: removes one step of old rows; true when none are left.
  bool PruneStep();
  // Store thread: writes one group; reports each item's outcome.
  void Commit(std::deque<Item>& items, std::vector<FateUpdate>& fates);
  bool EnsureFile();
  // Keeps what the last open of the file did, for TakeNotes.
  void KeepOpenNotes();
  void Remember(std::vector<EventRow> rows, const std::vector<FateUpdate>& fates);
  // Store thread: tells the meter what pending_ holds.
  void TellPending();
  // Store thread, at its start: the newest rows to the meter.
  void TellRecent();
  // Store thread, after a commit: keeps the write-ahead log from growing.
  void KeepLogShort();
  void Report(std::deque<Item>& items, bool stored);
  // The number a row or fate has in the file: rows numbered before the
  // file first opened follow its last row.
  int64_t InFile(int64_t seq) const;
  // Main thread: runs the completions the store thread has reported.
  void RunCompletions();

  const std::string path_;
  // The store thread wakes the event loop through an eventfd; the
  // completions themselves pass under lock_.
  std::unique_ptr<LoopWake> loopWake_;  // null without a context
  std::vector<std::pair<Done, bool>> completions_;

  bool stop_ = false;
  std::string lastError_;
  std::vector<std::string> notes_;
  Stats stats_;
  std::vector<int> commitMicros_;

  // The checkpointer: a thread of its own with its own connection copies the
  // log into the file while commits go on.
  void RunCheckpoints();
  std::mutex checkpointLock_;
  std::condition_variable checkpointWake_;
  bool checkpointDue_ = false;
  bool checkpointStop_ = false;
  std::thread checkpointer_;

  // Store thread only (after Start).
  EventDb db_;
  std::vector<EventRow> held_;         // rows without a sender, not yet written
  std::vector<FateUpdate> heldFates_;  // fates not yet written
  PendingRows pending_;                // written rows with something pending
  Meter* meter_ = nullptr;
  LatePending late_;
  bool everOpened_ = false;
  int64_t openMax_ = -1;  // the file's last row when it first opened late
  std::atomic<size_t> heldCount_{0};
  int keepDays_ = 0;
  std::function<int64_t()> nowMs_ = [] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  };

  std::atomic<bool> writable_{false};
  std::thread thread_;
};

}  // namespace quell
