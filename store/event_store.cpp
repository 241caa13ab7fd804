#include "store/event_store.h"

#include <unistd.h>

#include <chrono>
#include <utility>

#include "core/batch_scope.h"

namespace quell {
namespace {

// Log pages (4 MB) that call for the checkpointer, which copies them into
// the file while commits go on. Its passes never end with the whole log
// copied while commits go on, so at kRestartPages the store's own thread
// copies the little that is left and the log starts over. A log the
// checkpointer cannot keep up with is cut by the store's own thread at
// kLogLimitPages (16 MB).
constexpr int kCheckpointPages = 1000;
constexpr int kRestartPages = 2 * kCheckpointPages;
constexpr int kLogLimitPages = 4 * kCheckpointPages;
constexpr int kCheckpointGapMs = 20;  // at least this long between two passes
constexpr size_t kMaxCommitSamples = 1 << 20;

}  // namespace

EventStore::EventStore(std::string path, QObject* context, LatePending late)
    : RowIntake(NodeName(), 0), path_(std::move(path)), late_(std::move(late)) {
  if (!context) return;
  loopWake_ = std::make_unique<LoopWake>(context, [this] { RunCompletions(); });
  if (!loopWake_->Ok()) loopWake_.reset();
}

EventStore::~EventStore() {
  {
    std::lock_guard g(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  {
    std::lock_guard g(checkpointLock_);
    checkpointStop_ = true;
  }
  checkpointWake_.notify_all();
  if (checkpointer_.joinable()) checkpointer_.join();
  loopWake_.reset();
}

void EventStore::RunCompletions() {
  std::vector<std::pair<Done, bool>> ready;
  {
    std::lock_guard g(lock_);
    ready.swap(completions_);
  }
  // The replies these completions make leave together.
  SendBatch batch;
  for (const auto& [done, stored] : ready) done(stored);
}

bool EventStore::Start(std::vector<EventRow>* pending, std::string* error,
                       std::vector<RecentCopy>* copies, int64_t copiesSinceMs) {
  bool opened = db_.Open(path_, error) != EventDb::OpenResult::Failed;
  KeepOpenNotes();
  if (opened) {
    if (copies) *copies = db_.RecentCopies(copiesSinceMs, kRecentCopiesRead);
    std::vector<EventRow> rows = db_.Pending();
    for (const EventRow& r : rows) pending_.Add(r);
    if (pending) *pending = std::move(rows);
    std::lock_guard g(lock_);
    lastSeq_ = db_.MaxSeq();
  } else {
    // The file's numbering is not known yet: rows added meanwhile get
    // numbers that cannot be taken for rows already in it.
    std::lock_guard g(lock_);
    lastError_ = error ? *error : "cannot open";
    lastSeq_ = kUnopenedBase;
  }
  everOpened_ = opened;
  writable_ = opened;
  thread_ = std::thread([this] { Run(); });
  checkpointer_ = std::thread([this] { RunCheckpoints(); });
  return opened;
}

void EventStore::KeepOpenNotes() {
  std::vector<std::string> notes = db_.TakeOpenNotes();
  if (notes.empty()) return;
  std::lock_guard g(lock_);
  for (std::string& n : notes) notes_.push_back(std::move(n));
}

std::vector<std::string> EventStore::TakeNotes() {
  std::lock_guard g(lock_);
  return std::exchange(notes_, {});
}

std::string EventStore::LastError() const {
  std::lock_guard g(lock_);
  return lastError_;
}

size_t EventStore::HeldRows() const {
  return heldCount_.load();
}

EventStore::Stats EventStore::Counters() const {
  std::lock_guard g(lock_);
  return stats_;
}

std::vector<int> EventStore::TakeCommitMicros() {
  std::lock_guard g(lock_);
  return std::exchange(commitMicros_, {});
}

void EventStore::Run() {
  using Clock = std::chrono::steady_clock;
  if (meter_) TellRecent();
  std::unique_lock g(lock_);
  auto nextPrune = Clock::now();  // a first pass soon after the start
  for (;;) {
    const bool retry = !held_.empty() || !heldFates_.empty();
    // Rows are written at once; fates alone wait for rows, up to their
    // deadline (and not at all when stopping).
    const auto ready = [&] {
      return stop_ || !queue_.empty() || (!fates_.empty() && Clock::now() >= fatesDue_);
    };
    // While writes fail, held rows are tried again each interval; pruning
    // waits for a store that writes.
    auto until = retry ? Clock::now() + std::chrono::milliseconds(kReopenIntervalMs) : nextPrune;
    if (!fates_.empty()) until = std::min(until, fatesDue_);
    // A fate that arrives meanwhile brings an earlier deadline: wake to
    // wait again with it.
    wake_.wait_until(g, until, [&] { return ready() || (!fates_.empty() && fatesDue_ < until); });
    if (stop_ && queue_.empty() && fates_.empty()) break;
    if (!ready() && !retry) {
      // Fates not yet due: wait again with their deadline.
      if (!fates_.empty() || Clock::now() < nextPrune) continue;
      // Idle: one small pruning step, then back to waiting for rows.
      g.unlock();
      const bool passDone = PruneStep();
      g.lock();
      nextPrune =
          passDone ? Clock::now() + std::chrono::milliseconds(kPruneIntervalMs) : Clock::now();
      continue;
    }
    std::deque<Item> items = std::exchange(queue_, {});
    std::vector<FateUpdate> fates = std::exchange(fates_, {});
    g.unlock();
    Commit(items, fates);
    g.lock();
    if (stop_ && queue_.empty() && fates_.empty()) break;
  }
}

void EventStore::SetRetention(int keepDays, std::function<int64_t()> nowMs) {
  keepDays_ = keepDays;
  if (nowMs) nowMs_ = std::move(nowMs);
}

bool EventStore::PruneStep() {
  if (keepDays_ <= 0 || !db_.IsOpen() || !writable_.load()) return true;
  const int64_t cutoff = nowMs_() - int64_t(keepDays_) * 24 * 3600 * 1000;
  const int removed = db_.Prune(cutoff, kPruneStepRows);
  return removed < kPruneStepRows;
}

bool EventStore::EnsureFile() {
  if (db_.IsOpen() && db_.SameFile()) return true;
  std::string error;
  const bool opened = db_.Open(path_, &error) != EventDb::OpenResult::Failed;
  KeepOpenNotes();
  if (!opened) {
    std::lock_guard g(lock_);
    lastError_ = error;
    return false;
  }
  if (!everOpened_) {
    // Opened for the first time after the start: the rows added meanwhile
    // follow the file's last row, and what the file holds pending reaches
    // the gateway ahead of them.
    everOpened_ = true;
    const int64_t last = db_.MaxSeq();
    std::vector<EventRow> rows = db_.Pending();
    {
      std::lock_guard g(lock_);
      openMax_ = last;
      lastSeq_ = last + (lastSeq_ - kUnopenedBase);
      if (!rows.empty() && late_ && loopWake_)
        completions_.emplace_back([late = late_, rows](bool) mutable { late(std::move(rows)); },
                                  true);
    }
    if (!rows.empty() && late_ && loopWake_) loopWake_->Wake();
    for (EventRow& r : rows) pending_.Add(std::move(r));
  }
  if (pending_.Empty())
    for (EventRow& r : db_.Pending()) pending_.Add(std::move(r));
  // A new file (the old one removed or renamed) gets every row still
  // pending, so a restart can deliver them.
  if (pending_.Empty() || db_.MaxSeq() >= pending_.LastSeq()) return true;
  std::vector<EventRow> keep;
  for (const auto& [seq, row] : pending_.Rows()) keep.push_back(row);
  if (!keep.empty() && !db_.Write(keep, {}, &error)) {
    std::lock_guard g(lock_);
    lastError_ = error;
    return false;
  }
  return true;
}

void EventStore::Commit(std::deque<Item>& items, std::vector<FateUpdate>& fates) {
  // The rows are moved, not copied: held rows first, then the new ones.
  std::vector<EventRow> rows = std::move(held_);
  held_.clear();
  const size_t heldRows = rows.size();
  rows.reserve(heldRows + items.size());
  for (Item& item : items) rows.push_back(std::move(item.row));
  std::vector<FateUpdate> allFates = std::move(heldFates_);
  heldFates_.clear();
  allFates.insert(allFates.end(), fates.begin(), fates.end());

  const auto start = std::chrono::steady_clock::now();
  std::string error;
  const bool opened = EnsureFile();
  for (EventRow& r : rows) r.seq = InFile(r.seq);
  for (FateUpdate& f : allFates) f.key.seq = InFile(f.key.seq);
  // Every row pending after this commit numbers from the first row still
  // pending before it (rows are remembered in the order written, which is
  // the order of their numbers) or from this commit's first pending row.
  int64_t floor = pending_.FirstSeq();
  for (const EventRow& r : rows)
    if (PendingRows::Waits(r) && (floor == 0 || r.seq < floor)) floor = r.seq;
  const bool stored = opened && db_.Write(rows, allFates, &error, floor);
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
  const size_t written = rows.size();
  if (stored) {
    // With a meter the rows are remembered after the replies are released
    // (below), so what the monitoring surface is told costs no reply time.
    if (!meter_) Remember(std::move(rows), allFates);
  } else {
    if (meter_) meter_->CommitFailed();
    // The log may have taken the space: copy it into the file and cut it.
    // A connection that failed mid-transaction (disk full, I/O error) may
    // stay inside it; the next commit starts from a fresh one.
    db_.Checkpoint(false);
    db_.Close();
    for (size_t i = 0; i < rows.size(); ++i)
      if (i < heldRows || items[i - heldRows].keep) held_.push_back(std::move(rows[i]));
    heldFates_ = std::move(allFates);
  }
  {
    std::lock_guard g(lock_);
    if (stored) {
      lastError_.clear();
      stats_.rows += written;
      ++stats_.commits;
      if (commitMicros_.size() < kMaxCommitSamples) commitMicros_.push_back(int(micros));
    } else if (!error.empty()) {
      lastError_ = error;
    }
  }
  heldCount_ = held_.size();
  writable_ = stored;
  Report(items, stored);
  if (stored && meter_) {
    meter_->Committed(rows, double(micros) / 1e6);
    Remember(std::move(rows), allFates);
    TellPending();
  }
  if (stored) KeepLogShort();
}

void EventStore::KeepLogShort() {
  const int pages = db_.WalPages();
  if (pages >= kLogLimitPages) {
    // The checkpointer fell far behind (a reader holds the log, or the
    // disk is slow): copy and cut the log here, between two commits.
    db_.Checkpoint(false);
  } else if (pages >= kRestartPages) {
    // The checkpointer has copied nearly all of the log while commits went
    // on; copying the rest here, between two commits, lets the next commit
    // write the log from its start again. Busy (a pass running): next time.
    db_.Checkpoint(true);
  } else if (pages >= kCheckpointPages) {
    {
      std::lock_guard g(checkpointLock_);
      checkpointDue_ = true;
    }
    checkpointWake_.notify_one();
  }
}

void EventStore::RunCheckpoints() {
  EventDb db;
  std::unique_lock g(checkpointLock_);
  for (;;) {
    checkpointWake_.wait(g, [this] { return checkpointStop_ || checkpointDue_; });
    if (checkpointStop_) return;
    checkpointDue_ = false;
    g.unlock();
    // A file made anew under the same path is opened anew.
    if (!db.IsOpen() || !db.SameFile()) db.Open(path_, nullptr);
    db.Checkpoint();
    g.lock();
    // Each pass syncs the log and the file, which delays the commits' own
    // syncs on the same disk: passes are spaced, each copying what came
    // since the last one.
    checkpointWake_.wait_for(g, std::chrono::milliseconds(kCheckpointGapMs),
                             [this] { return checkpointStop_; });
  }
}

void EventStore::Remember(std::vector<EventRow> rows, const std::vector<FateUpdate>& fates) {
  for (EventRow& r : rows) pending_.Add(std::move(r));
  for (const FateUpdate& f : fates) pending_.Apply(f);
}

void EventStore::TellPending() {
  meter_->Pending(pending_.Figures());
}

void EventStore::TellRecent() {
  constexpr int kRecentRows = 50;
  std::vector<EventRow> rows;
  if (db_.IsOpen()) {
    EventQuery query;
    query.limit = kRecentRows;
    query.newestFirst = true;
    db_.Read(
        query,
        [&](const EventRow& row) {
          rows.push_back(row);
          return true;
        },
        nullptr);
  }
  meter_->Recent(rows);
  TellPending();
}

// openMax_ is the store thread's own: no lock, which the producers take to
// add rows, for each row and fate of a commit.
int64_t EventStore::InFile(int64_t seq) const {
  return seq > kUnopenedBase && openMax_ >= 0 ? openMax_ + (seq - kUnopenedBase) : seq;
}

void EventStore::Report(std::deque<Item>& items, bool stored) {
  std::vector<std::pair<Done, bool>> dones;
  for (Item& item : items) {
    if (item.waiter) {
      TellWaiter(item, stored);
    } else if (item.done) {
      // A held row is not lost: its sender-less producer goes on.
      dones.emplace_back(std::move(item.done), stored || item.keep);
    }
  }
  if (dones.empty() || !loopWake_) return;
  {
    std::lock_guard g(lock_);
    for (auto& d : dones) completions_.push_back(std::move(d));
  }
  loopWake_->Wake();
}

}  // namespace quell
