#pragma once
// What EventLog's callers hand a store's thread, under one lock: rows with
// their completions (or a worker waiting for its commit), and fate updates
// that wait a little for rows to share a commit. Each store takes what is
// queued for its next commit from here and tells every item its outcome.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "core/batch_scope.h"
#include "core/event_log.h"
#include "store/event_db.h"

namespace quell {

class RowIntake : private WakeBatch::Member {
 public:
  // A fate update waits at most this long for rows to share its commit: a
  // delivery needs no sync of its own, and a commit of fates alone would
  // hold up the next rows' commit behind its sync.
  static constexpr int kFateDelayMs = 2;
  // How often a waiting worker looks at its cancel flag.
  static constexpr int kCancelPollMs = 10;

  // A worker thread's wait for its row's commit.
  struct Waiter {
    std::mutex lock;
    std::condition_variable done;
    int state = 0;  // 0 waiting, 1 stored, 2 not stored
  };
  struct Item {
    EventRow row;
    EventLog::Done done;
    bool keep = false;
    std::shared_ptr<Waiter> waiter;
    bool refused = false;  // reported not stored while its commit was in doubt
  };

  // The rows queued here are keyed (node, run, seq): a store's own file
  // has neither node nor run (empty, 0).
  RowIntake(NodeName node, int64_t run) : node_(node), run_(run) {}
  ~RowIntake() { WakeBatch::Leave(this); }
  RowIntake(const RowIntake&) = delete;
  RowIntake& operator=(const RowIntake&) = delete;

  // EventLog's calls: queue and wake the store's thread.
  RowKey Queue(EventRow row, EventLog::Done done, bool keep);
  RowKey QueueGroup(std::vector<EventRow> rows, EventLog::Done done);
  RowKey QueueAndWait(EventRow row, int timeoutMs, const std::atomic<bool>* cancel);
  void QueueFate(const RowKey& key, EventTarget target, EventFate fate);

  // Store thread: tells a waiting worker its row's outcome.
  static void TellWaiter(const Item& item, bool stored);

 protected:
  // The key of this store's row seq.
  RowKey KeyOf(int64_t seq) const { return RowKey{node_, run_, seq}; }
  // Gives the row its number and key under lock_.
  int64_t Number(EventRow& row) {
    row.node = node_;
    row.run = run_;
    return row.seq = ++lastSeq_;
  }

  // Wakes the store's thread: its condition variable, and the eventfd of a
  // store that waits on its server's socket too (when set). While a
  // WakeBatch is open on the calling thread, once when it closes.
  void Wake();
  void WakeNow();

  const NodeName node_;
  const int64_t run_;
  int intakeFd_ = -1;  // an eventfd written at each wake (-1: none)

 private:
  void FlushBatch() override { WakeNow(); }

 protected:
  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::deque<Item> queue_;
  std::vector<FateUpdate> fates_;
  std::chrono::steady_clock::time_point fatesDue_;  // the oldest waiting fate's deadline
  int64_t lastSeq_ = 0;

  // fatesDue_ in milliseconds of the steady clock.
  int64_t FatesDueMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(fatesDue_.time_since_epoch())
        .count();
  }
};

}  // namespace quell
