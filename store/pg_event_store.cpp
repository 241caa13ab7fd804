#include "store/pg_event_store.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <limits>
#include <random>
#include <set>
#include <string_view>
#include <tuple>
#include <unordered_map>

#include "core/batch_scope.h"
#include "store/pg_schema.h"

namespace quell {
namespace {

int64_t RandomRun() {
  std::random_device device;
  std::mt19937_64 bits((uint64_t(device()) << 32) ^ device() ^
                       uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()));
  int64_t run = 0;
  while (run == 0) run = int64_t(bits());
  return run;
}

// The columns a commit writes for each row, in the order of the arrays;
// the fates go to any node's rows by their keys; the node's row gets the
// floors of its rows pending after this commit.
const char* kCommitRows =
    "WITH r AS (SELECT * FROM unnest($4::int8[], $5::int8[], $6::bytea[], $7::bytea[],"
    " $8::bytea[], $9::bytea[], $10::bytea[], $11::bytea[], $12::int2[], $13::bytea[],"
    " $14::int2[], $15::bytea[], $16::bytea[]) AS t(seq, received_ms, road, line, peer,"
    " account, raw, console_text, console_state, notice_text, notice_state, sia, copy_key)),"
    " ins AS (INSERT INTO quell_event(node, run, run_started_ms, seq, received_ms, road, line,"
    " peer, account, raw, console_text, console_state, notice_text, notice_state, sia, copy_key)"
    " SELECT $1, $2, $3, r.* FROM r";
const char* kCommitRest =
    " RETURNING seq),"
    " f AS (SELECT * FROM unnest($17::text[], $18::int8[], $19::int8[], $20::int2[],"
    " $21::int2[]) AS t(node, run, seq, console_state, notice_state)),"
    " upd AS (UPDATE quell_event e SET"
    " console_state = CASE WHEN f.console_state >= 0 THEN f.console_state"
    " ELSE e.console_state END,"
    " notice_state = CASE WHEN f.notice_state >= 0 THEN f.notice_state ELSE e.notice_state END"
    " FROM f WHERE e.node = f.node AND e.run = f.run AND e.seq = f.seq RETURNING 1),"
    " hb AS (INSERT INTO quell_node(node, seen, pending_runs, pending_seqs)"
    " VALUES ($1, now(), $22, $23) ON CONFLICT (node) DO UPDATE SET seen = now(),"
    " pending_runs = $22, pending_seqs = $23 RETURNING 1)";

// A commit's statement. Its rows go in plainly; where some may be there
// already (a commit in doubt resolved, a key found taken) each row goes in
// only if its key is free, and the rows inserted are returned. In a pair,
// one notification of the rows inserted, sent by the server on commit
// only; equal payloads in one transaction are sent once, so the aggregate
// may be evaluated more than once.
std::string CommitSql(bool mayExist, bool notify) {
  std::string sql = std::string(kCommitRows) +
                    (mayExist ? " ON CONFLICT (node, run, seq) DO NOTHING" : "") + kCommitRest;
  if (!notify) return sql + " SELECT seq FROM ins";
  return sql + ", n AS (SELECT pg_notify('" + PgEventStore::kChannel +
         "', $1 || ' ' || $2::text || ' ' || min(seq)::text || ' ' || max(seq)::text)"
         " FROM ins HAVING count(*) > 0)"
         " SELECT ins.seq FROM ins CROSS JOIN n";
}

struct CommitStatement {
  const char* name;
  std::string sql;
};
const CommitStatement kCommits[2][2] = {
    {{"quell_commit", CommitSql(false, false)}, {"quell_commit_notify", CommitSql(false, true)}},
    {{"quell_commit_any", CommitSql(true, false)},
     {"quell_commit_any_notify", CommitSql(true, true)}}};

// A key already taken (unique_violation).
bool KeyTaken(const PGresult* r) {
  const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  return state && std::string_view(state) == "23505";
}

// With the floors as the fates committed so far leave them.
const char* kHeartbeat =
    "INSERT INTO quell_node(node, seen, pending_runs, pending_seqs) VALUES ($1, now(), $2, $3)"
    " ON CONFLICT (node) DO UPDATE SET seen = now(), pending_runs = $2, pending_seqs = $3";

// The session's plans. A prepared commit is planned once, not at each
// round trip (planning was a quarter of the server's work per commit). A
// plan made without the values knows neither the arrays' lengths nor, on a
// young history, the table's size, and may scan the whole table at every
// commit from then on. So this session reaches rows only through an index:
// no whole-table or bitmap scans, no hash or merge joins (a join looks up
// each key), no parallel workers. And no JIT compiler: a statement left
// with only a plan switched off (the small quell_node read whole) costs so
// much on paper that it would call one in.
const char* kIndexPlans =
    "SELECT set_config('plan_cache_mode', 'force_generic_plan', false),"
    " set_config('enable_seqscan', 'off', false), set_config('enable_bitmapscan', 'off', false),"
    " set_config('enable_hashjoin', 'off', false), set_config('enable_mergejoin', 'off', false),"
    " set_config('enable_material', 'off', false),"
    " set_config('max_parallel_workers_per_gather', '0', false), set_config('jit', 'off', false)";

// A node's name read from a result, interned once while it repeats.
class NodeReader {
 public:
  NodeName Read(const PGresult* r, int i, int col) {
    const std::string_view name(PQgetvalue(r, i, col), size_t(PQgetlength(r, i, col)));
    if (last_.empty() || name != last_.str()) last_ = NodeName::Of(name);
    return last_;
  }

 private:
  NodeName last_;
};

EventRow RowFrom(const PGresult* r, int i, NodeReader& nodes) {
  // Columns as kEventColumns: node, run, seq, received_ms, road, ...
  EventRow row;
  row.node = nodes.Read(r, i, 0);
  row.run = pg::GetInt8(r, i, 1);
  row.seq = pg::GetInt8(r, i, 2);
  row.receivedMs = pg::GetInt8(r, i, 3);
  row.road = pg::GetBytes(r, i, 4);
  row.line = pg::GetBytes(r, i, 5);
  row.peer = pg::GetBytes(r, i, 6);
  row.account = pg::GetBytes(r, i, 7);
  row.raw = pg::GetBytes(r, i, 8);
  row.consoleText = pg::GetBytes(r, i, 9);
  row.console = EventFate(pg::GetInt2(r, i, 10));
  row.noticeText = pg::GetBytes(r, i, 11);
  row.notice = EventFate(pg::GetInt2(r, i, 12));
  row.sia = pg::GetBytes(r, i, 13);
  row.copyKey = pg::GetBytes(r, i, 14);
  return row;
}

// Equal content apart from the fates, which later commits change.
bool SameContent(const EventRow& a, const EventRow& b) {
  return a.seq == b.seq && a.receivedMs == b.receivedMs && a.road == b.road && a.line == b.line &&
         a.peer == b.peer && a.account == b.account && a.raw == b.raw &&
         a.consoleText == b.consoleText && a.noticeText == b.noticeText && a.sia == b.sia &&
         a.copyKey == b.copyKey;
}

pg::Param Text(const std::string& s) {
  return {pg::kText, s};
}

// A notification's payload, "node run first last" as the commit statement
// writes it; false for anything else.
bool ParseNotification(const std::string& payload, std::string* node, int64_t* run, int64_t* first,
                       int64_t* last) {
  std::vector<std::string_view> parts;
  for (size_t at = 0; at <= payload.size();) {
    const size_t end = std::min(payload.find(' ', at), payload.size());
    parts.emplace_back(payload.data() + at, end - at);
    at = end + 1;
  }
  if (parts.size() != 4 || parts[0].empty()) return false;
  int64_t* numbers[3] = {run, first, last};
  for (size_t i = 0; i < 3; ++i) {
    const std::string_view p = parts[i + 1];
    const auto [end, ec] = std::from_chars(p.data(), p.data() + p.size(), *numbers[i]);
    if (p.empty() || ec != std::errc() || end != p.data() + p.size()) return false;
  }
  node->assign(parts[0]);
  return *first <= *last;
}

}  // namespace

// Work for the main thread.
struct PgEventStore::Mailbox {
  std::mutex lock;
  std::vector<std::function<void()>> work;
};

PgEventStore::PgEventStore(Options options, QObject* context, LatePending late)
    : RowIntake(NodeName::Of(options.node), RandomRun()),
      options_(std::move(options)),
      runStartedMs_(options_.nowMs ? options_.nowMs()
                                   : std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::system_clock::now().time_since_epoch())
                                         .count()),
      late_(std::move(late)),
      mailbox_(std::make_shared<Mailbox>()) {
  // In a pair the store's thread waits on its server's socket too (for
  // notifications); rows queued wake it through an eventfd.
  if (options_.others) intakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  // The store's thread wakes the event loop through an eventfd; what it
  // posts passes under the mailbox's lock, in the order posted.
  if (!context) return;
  loopWake_ = std::make_unique<LoopWake>(context, [this] { RunPosted(); });
  if (!loopWake_->Ok()) loopWake_.reset();
}

PgEventStore::~PgEventStore() {
  {
    std::lock_guard g(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  WakeNow();
  if (thread_.joinable()) thread_.join();
  loopWake_.reset();
  if (intakeFd_ >= 0) ::close(intakeFd_);
}

void PgEventStore::Start() {
  {
    std::lock_guard g(lock_);
    lastError_ = "not yet connected";
  }
  thread_ = std::thread([this] { Loop(); });
}

int64_t PgEventStore::NowUtc() const {
  if (options_.nowMs) return options_.nowMs();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool PgEventStore::Writable() const {
  if (!ok_.load()) return false;
  const int64_t since = outstandingSinceMs_.load();
  return since == 0 || pg::NowMs() - since <= kWritableMs;
}

std::string PgEventStore::LastError() const {
  std::lock_guard g(lock_);
  return lastError_;
}

void PgEventStore::Post(std::function<void()> f) {
  if (!loopWake_) return;
  {
    std::lock_guard g(mailbox_->lock);
    mailbox_->work.push_back(std::move(f));
  }
  loopWake_->Wake();
}

void PgEventStore::RunPosted() {
  std::vector<std::function<void()>> work;
  {
    std::lock_guard g(mailbox_->lock);
    work.swap(mailbox_->work);
  }
  // The replies these completions make leave together.
  SendBatch batch;
  for (auto& w : work) w();
}

void PgEventStore::Note(std::string text) {
  if (options_.note)
    Post([note = options_.note, text = std::move(text)] { note("Events store: " + text); });
}

void PgEventStore::Failed(const std::string& error) {
  ok_ = false;
  std::lock_guard g(lock_);
  lastError_ = error;
}

void PgEventStore::Succeeded() {
  ok_ = true;
  lastTalkMs_ = pg::NowMs();
  retryMs_ = kRetryFirstMs;
  std::lock_guard g(lock_);
  lastError_.clear();
}

void PgEventStore::Loop() {
  std::unique_lock g(lock_);
  nextPruneMs_ = pg::NowMs();
  bool stopping = false;
  for (;;) {
    const int64_t now = pg::NowMs();
    int64_t until;
    if (!conn_.IsOpen()) {
      until = reconnectAtMs_;
    } else {
      until = std::min(lastTalkMs_ + options_.heartbeatMs, nextPruneMs_);
      if (options_.others) until = std::min(until, nextScanMs_);
      if (!held_.empty() || !heldFates_.empty()) until = now;
    }
    if (!asks_.empty()) until = now;
    if (doubt_ && !doubt_->reported) until = std::min(until, doubt_->sinceMs + kDoubtWaitMs);
    if (!fates_.empty()) until = std::min(until, FatesDueMs());
    // Rows wait while a commit in doubt is being resolved.
    const auto ready = [&] {
      return stop_ || (!queue_.empty() && (!doubt_ || doubt_->reported)) ||
             (!fates_.empty() && pg::NowMs() >= FatesDueMs()) || !asks_.empty();
    };
    const auto woken = [&] { return ready() || (!fates_.empty() && FatesDueMs() < until); };
    if (until > now && intakeFd_ >= 0) {
      if (!woken()) WaitForWork(g, until - now);
    } else if (until > now) {
      wake_.wait_for(g, std::chrono::milliseconds(until - now), woken);
    }
    if (stopping) break;
    // Once stopping, one last pass writes what it can.
    stopping = stop_;
    std::deque<Item> items;
    if (!doubt_ || doubt_->reported || stopping) items = std::exchange(queue_, {});
    std::vector<FateUpdate> fates;
    if (fates_.empty() || pg::NowMs() >= FatesDueMs() || !items.empty() || stopping)
      fates = std::exchange(fates_, {});
    g.unlock();
    Step(items, fates);
    Learn();
    g.lock();
    if (stopping && queue_.empty() && fates_.empty()) break;
  }
  g.unlock();
  // Rows that could not be written are lost with the process: tell their
  // waiters so no worker waits for nothing.
  std::vector<Item> rest = std::move(held_);
  if (doubt_)
    for (Item& i : doubt_->items)
      if (!i.refused) rest.push_back(std::move(i));
  for (Item& i : rest) {
    i.keep = false;
    i.done = nullptr;
  }
  Report(rest, false);
}

void PgEventStore::Step(std::deque<Item>& items, std::vector<FateUpdate>& fates) {
  const int64_t now = pg::NowMs();
  if (conn_.IsOpen() && !conn_.StillOpen()) ServerClosed(now);
  if (!conn_.IsOpen() && now >= reconnectAtMs_) Connect();
  if (conn_.IsOpen() && doubt_) Resolve();
  // A doubt not resolved in time: its senders hear "not stored"; rows
  // without a sender stay in it and count as stored for their producer.
  if (doubt_ && !doubt_->reported && pg::NowMs() - doubt_->sinceMs >= kDoubtWaitMs) {
    std::vector<Item> told;
    for (Item& i : doubt_->items) {
      i.refused = !i.keep;
      told.push_back(Item{EventRow{}, std::move(i.done), i.keep, std::move(i.waiter)});
    }
    doubt_->reported = true;
    Report(told, false);
  }
  std::vector<Item> group;
  for (Item& i : items) group.push_back(std::move(i));
  heldFates_.insert(heldFates_.end(), fates.begin(), fates.end());
  if (!conn_.IsOpen() || doubt_) {
    // No commit can be tried: a failed write for the monitoring surface.
    if (meter_ && !group.empty()) meter_->CommitFailed();
    RefuseOrHold(group);
    return;
  }
  std::vector<Item> all = std::move(held_);
  held_.clear();
  for (Item& i : group) all.push_back(std::move(i));
  if (!all.empty() || !heldFates_.empty()) {
    std::vector<FateUpdate> f = std::move(heldFates_);
    heldFates_.clear();
    Commit(all, f);
    return;
  }
  if (pg::NowMs() - lastTalkMs_ >= options_.heartbeatMs) {
    Heartbeat();
    return;
  }
  if (pg::NowMs() >= nextPruneMs_) {
    const bool passDone = PruneStep();
    nextPruneMs_ = pg::NowMs() + (passDone ? kPruneIntervalMs : 0);
  }
}

bool PgEventStore::Connect() {
  std::string error;
  if (!conn_.Connect(options_.conninfo, kRoundTripMs, &error) || !Setup(&error)) {
    Broke(error);
    return false;
  }
  pid_ = conn_.BackendPid();
  ownPid_ = pid_;
  retryMs_ = kRetryFirstMs;
  lastTalkMs_ = pg::NowMs();
  // Notifications were missed while away: the other nodes' rows are read
  // at once.
  nextScanMs_ = lastTalkMs_;
  // Writable again once a commit in doubt is resolved.
  if (!doubt_) Succeeded();
  return true;
}

bool PgEventStore::Setup(std::string* error) {
  pg::Result r;
  // A commit is never cancelled by the server; the store's own deadlines
  // decide, and a commit past them is resolved, never guessed.
  if (conn_.Run("SET statement_timeout = 0", {}, kRoundTripMs, &r, error) != pg::Conn::Outcome::Ok)
    return false;
  if (!pg::EnsureSchema(conn_, pg::kSchemaVersion, kRoundTripMs, error)) return false;
  if (conn_.Run(kIndexPlans, {}, kRoundTripMs, &r, error) != pg::Conn::Outcome::Ok) return false;
  const std::vector<pg::Param> lockParams = {Text(options_.node)};
  const std::string lock = std::to_string(pg::kLockClass) + ", hashtext($1)";
  for (int attempt = 0;; ++attempt) {
    if (conn_.Run("SELECT pg_try_advisory_lock(" + lock + ")", lockParams, kRoundTripMs, &r,
                  error) != pg::Conn::Outcome::Ok)
      return false;
    if (pg::GetBool(r.get(), 0, 0)) break;
    // The session holding the name may be a stale one: this gateway's own
    // before a link was lost, or one whose gateway has not beaten for
    // kStaleMs (the server keeps a session whose peer vanished for as long
    // as its keepalives allow). Such a session is ended; a live one is not.
    const std::string holder =
        "SELECT l.pid FROM pg_locks l LEFT JOIN quell_node n ON n.node = $1"
        " WHERE l.locktype = 'advisory' AND l.classid = " +
        std::to_string(pg::kLockClass) +
        " AND l.objid = hashtext($1)::oid AND l.objsubid = 2 AND l.granted AND"
        " (l.pid = $2::int OR n.seen < now() - make_interval(secs => $3::int))";
    if (attempt == 0 &&
        conn_.Run(holder,
                  {Text(options_.node),
                   {pg::kInt8, pg::Int8(ownPid_)},
                   {pg::kInt8, pg::Int8(kStaleMs / 1000)}},
                  kRoundTripMs, &r, error) == pg::Conn::Outcome::Ok &&
        PQntuples(r.get()) == 1) {
      const std::vector<pg::Param> pid = {{pg::kInt8, pg::Int8(pg::GetInt4(r.get(), 0, 0))}};
      if (conn_.Run("SELECT pg_terminate_backend($1::int, 1000)", pid, kRoundTripMs, &r, error) !=
          pg::Conn::Outcome::Ok)
        return false;
      Note("the node name was held by a stale session, ended it");
      continue;
    }
    if (error) *error = "node name in use: " + options_.node;
    return false;
  }
  if (conn_.Run("SELECT system_identifier::text || ':' || timeline_id::text"
                " FROM pg_control_system(), pg_control_checkpoint()",
                {}, kRoundTripMs, &r, error) != pg::Conn::Outcome::Ok)
    return false;
  systemId_ = pg::GetBytes(r.get(), 0, 0);
  if (conn_.Run("INSERT INTO quell_node(node, seen, config_digest) VALUES ($1, now(), $2)"
                " ON CONFLICT (node) DO UPDATE SET seen = now(), config_digest = $2",
                {Text(options_.node), {pg::kBytea, options_.configDigest}}, kRoundTripMs, &r,
                error) != pg::Conn::Outcome::Ok)
    return false;
  if (options_.others && conn_.Run(std::string("LISTEN ") + kChannel, {}, kRoundTripMs, &r,
                                   error) != pg::Conn::Outcome::Ok)
    return false;
  return pendingRead_ || (ReadStartRows(error) && ReadPending(error));
}

bool PgEventStore::ReadStartRows(std::string* error) {
  pg::Result r;
  // Newest by reception time, this node's rows only: the time index is
  // read backwards from its end, however long the history.
  const std::string newest = " ORDER BY received_ms DESC, node DESC, run DESC, seq DESC LIMIT ";
  if (meter_) {
    const std::string sql = std::string("SELECT ") + pg::kEventColumns +
                            " FROM quell_event WHERE node = $1" + newest +
                            std::to_string(kRecentRows);
    if (conn_.Run(sql, {Text(options_.node)}, kCommitMs, &r, error) != pg::Conn::Outcome::Ok)
      return false;
    recent_.clear();
    NodeReader nodes;
    for (int i = 0; i < PQntuples(r.get()); ++i) recent_.push_back(RowFrom(r.get(), i, nodes));
  }
  if (options_.copies) {
    const std::string sql =
        "SELECT received_ms, copy_key FROM quell_event WHERE node = $1 AND received_ms >= $2"
        " AND copy_key <> ''::bytea" +
        newest + std::to_string(kRecentCopiesRead);
    const int64_t since = NowUtc() - options_.copiesWindowMs;
    if (conn_.Run(sql, {Text(options_.node), {pg::kInt8, pg::Int8(since)}}, kCommitMs, &r, error) !=
        pg::Conn::Outcome::Ok)
      return false;
    copies_.clear();
    for (int i = PQntuples(r.get()) - 1; i >= 0; --i)
      copies_.push_back({pg::GetInt8(r.get(), i, 0), pg::GetBytes(r.get(), i, 1)});
  }
  return true;
}

pg::Conn::Outcome PgEventStore::ReadFloors(const std::string& where,
                                           const std::vector<pg::Param>& params,
                                           std::vector<RowKey>* floors, std::string* error) {
  pg::Result r;
  const pg::Conn::Outcome o = conn_.Run(pg::kFloors + where, params, kRoundTripMs, &r, error);
  if (o != pg::Conn::Outcome::Ok) return o;
  NodeReader nodes;
  for (int i = 0; i < PQntuples(r.get()); ++i)
    floors->push_back(
        {nodes.Read(r.get(), i, 0), pg::GetInt8(r.get(), i, 1), pg::GetInt8(r.get(), i, 2)});
  return o;
}

pg::Conn::Outcome PgEventStore::ReadFromFloor(const RowKey& floor, const std::string& columns,
                                              int timeoutMs, pg::Result* r, std::string* error) {
  // One run at a time with its own floor as a value, so the planner reads
  // the primary key's range from there, whatever the history's length.
  return conn_.Run(
      "SELECT " + columns + pg::kPendingFrom,
      {Text(floor.node.str()), {pg::kInt8, pg::Int8(floor.run)}, {pg::kInt8, pg::Int8(floor.seq)}},
      timeoutMs, r, error);
}

pg::Conn::Outcome PgEventStore::ReadPendingRows(const std::string& where,
                                                const std::vector<pg::Param>& params,
                                                std::vector<std::vector<EventRow>>* runs,
                                                std::vector<int64_t>* runStartedMs,
                                                std::string* error) {
  std::vector<RowKey> floors;
  pg::Conn::Outcome o = ReadFloors(where, params, &floors, error);
  const std::string columns = std::string(pg::kEventColumns) + ", run_started_ms";
  for (size_t k = 0; k < floors.size() && o == pg::Conn::Outcome::Ok; ++k) {
    pg::Result r;
    o = ReadFromFloor(floors[k], columns, kCommitMs, &r, error);
    const int n = PQntuples(r.get());
    if (n == 0) continue;
    NodeReader nodes;
    runs->emplace_back();
    for (int i = 0; i < n; ++i) runs->back().push_back(RowFrom(r.get(), i, nodes));
    runStartedMs->push_back(pg::GetInt8(r.get(), 0, 15));
  }
  return o;
}

bool PgEventStore::ReadPending(std::string* error) {
  // Rows of earlier runs keep their keys: fates reach them by (run, seq).
  // In acceptance order: the runs by their start, each by seq.
  std::vector<std::vector<EventRow>> runs;
  std::vector<int64_t> started;
  if (ReadPendingRows(" WHERE n.node = $1 AND f.run <> $2",
                      {Text(options_.node), {pg::kInt8, pg::Int8(run_)}}, &runs, &started,
                      error) != pg::Conn::Outcome::Ok)
    return false;
  std::vector<size_t> order(runs.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return std::make_pair(started[a], runs[a][0].run) < std::make_pair(started[b], runs[b][0].run);
  });
  std::vector<EventRow> rows;
  for (size_t i : order)
    for (EventRow& row : runs[i]) rows.push_back(std::move(row));
  pendingRead_ = true;
  for (const EventRow& row : rows) floors_.Add(row);
  if (meter_) {
    Remember(rows, {});
    meter_->Recent(std::exchange(recent_, {}));
    TellPending();
  }
  if (options_.copies)
    Post([f = options_.copies, copies = std::exchange(copies_, {})]() mutable {
      f(std::move(copies));
    });
  if (!rows.empty() && late_)
    Post([late = late_, rows = std::move(rows)]() mutable { late(std::move(rows)); });
  return true;
}

bool PgEventStore::Commit(std::vector<Item>& items, std::vector<FateUpdate>& fates,
                          const std::vector<EventRow>* found) {
  // Fates of rows in this group go into the rows; the others become one
  // update per row (console and notice together).
  std::map<int64_t, size_t> inGroup;
  for (size_t i = 0; i < items.size(); ++i) inGroup[items[i].row.seq] = i;
  struct Change {
    int console = -1;
    int notice = -1;
  };
  std::unordered_map<RowKey, Change, RowKeyHash> changes;
  for (const FateUpdate& f : fates) {
    // A key without a node is not a row of a shared history.
    if (f.key.node.empty()) continue;
    const auto it =
        f.key.node == node_ && f.key.run == run_ ? inGroup.find(f.key.seq) : inGroup.end();
    if (it != inGroup.end()) {
      EventRow& row = items[it->second].row;
      (f.target == EventTarget::Console ? row.console : row.notice) = f.fate;
      continue;
    }
    Change& c = changes[f.key];
    (f.target == EventTarget::Console ? c.console : c.notice) = int(f.fate);
  }
  std::vector<int64_t> seqs, received, fateRuns, fateSeqs;
  std::vector<int> consoles, notices, fateConsoles, fateNotices;
  std::vector<const std::string*> road, line, peer, account, raw, consoleText, noticeText, sia,
      copyKey, fateNodes;
  for (const Item& i : items) {
    const EventRow& r = i.row;
    seqs.push_back(r.seq);
    received.push_back(r.receivedMs);
    road.push_back(&r.road);
    line.push_back(&r.line);
    peer.push_back(&r.peer);
    account.push_back(&r.account);
    raw.push_back(&r.raw);
    consoleText.push_back(&r.consoleText);
    consoles.push_back(int(r.console));
    noticeText.push_back(&r.noticeText);
    notices.push_back(int(r.notice));
    sia.push_back(&r.sia);
    copyKey.push_back(&r.copyKey);
  }
  for (const auto& [k, c] : changes) {
    fateNodes.push_back(&k.node.str());
    fateRuns.push_back(k.run);
    fateSeqs.push_back(k.seq);
    fateConsoles.push_back(c.console);
    fateNotices.push_back(c.notice);
  }
  // Floors below every row of this node pending once this commit is in:
  // the rows known pending before it, and this commit's own.
  int64_t from = std::numeric_limits<int64_t>::max();
  for (const Item& i : items) from = std::min(from, i.row.seq);
  if (found)
    for (const EventRow& r : *found) from = std::min(from, r.seq);
  const auto [floorRuns, floorSeqs] = FloorParams(from);
  const std::vector<pg::Param> params = {
      Text(options_.node),
      {pg::kInt8, pg::Int8(run_)},
      {pg::kInt8, pg::Int8(runStartedMs_)},
      {pg::kInt8Array, pg::Int8Array(seqs)},
      {pg::kInt8Array, pg::Int8Array(received)},
      {pg::kByteaArray, pg::ByteaArray(road)},
      {pg::kByteaArray, pg::ByteaArray(line)},
      {pg::kByteaArray, pg::ByteaArray(peer)},
      {pg::kByteaArray, pg::ByteaArray(account)},
      {pg::kByteaArray, pg::ByteaArray(raw)},
      {pg::kByteaArray, pg::ByteaArray(consoleText)},
      {pg::kInt2Array, pg::Int2Array(consoles)},
      {pg::kByteaArray, pg::ByteaArray(noticeText)},
      {pg::kInt2Array, pg::Int2Array(notices)},
      {pg::kByteaArray, pg::ByteaArray(sia)},
      {pg::kByteaArray, pg::ByteaArray(copyKey)},
      {pg::kTextArray, pg::TextArray(fateNodes)},
      {pg::kInt8Array, pg::Int8Array(fateRuns)},
      {pg::kInt8Array, pg::Int8Array(fateSeqs)},
      {pg::kInt2Array, pg::Int2Array(fateConsoles)},
      {pg::kInt2Array, pg::Int2Array(fateNotices)},
      floorRuns,
      floorSeqs,
  };
  pg::Result r;
  std::string error, warning;
  bool sent = false;
  const int oldPid = conn_.BackendPid();
  outstandingSinceMs_ = pg::NowMs();
  const auto start = std::chrono::steady_clock::now();
  const auto run = [&](bool mayExist) {
    const CommitStatement& c = kCommits[mayExist][bool(options_.others)];
    return conn_.RunPrepared(c.name, c.sql, params, kCommitMs, &r, &error, &sent, &warning);
  };
  pg::Conn::Outcome outcome = run(found != nullptr);
  // Refused whole for a key taken, so nothing was written: again, each
  // row only if its key is free.
  if (!found && outcome == pg::Conn::Outcome::Failed && KeyTaken(r.get())) outcome = run(true);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outstandingSinceMs_ = 0;
  // The wait for a synchronous standby cancelled: committed here, maybe
  // not on the standby. Resolved like a broken commit.
  const bool syncCancelled = outcome == pg::Conn::Outcome::Ok && !warning.empty() &&
                             warning.find("synchronous") != std::string::npos;
  if (outcome == pg::Conn::Outcome::Ok && !syncCancelled) {
    std::set<int64_t> inserted;
    for (int i = 0; i < PQntuples(r.get()); ++i) inserted.insert(pg::GetInt8(r.get(), i, 0));
    Succeeded();
    std::vector<Item> stored, refused;
    std::vector<int64_t> conflicts;
    for (Item& i : items) {
      if (inserted.count(i.row.seq)) {
        stored.push_back(std::move(i));
      } else {
        conflicts.push_back(i.row.seq);
        refused.push_back(std::move(i));
      }
    }
    if (!conflicts.empty()) {
      // Never taken for stored: another row holds the key.
      Failed("rows with keys already taken by different rows: " + std::to_string(conflicts.size()));
      ok_ = true;
    }
    heldCount_ = 0;
    if (found)
      for (const EventRow& row : *found) floors_.Add(row);
    for (const Item& i : stored) floors_.Add(i.row);
    FloorFates(fates);
    if (meter_) {
      std::vector<EventRow> rows;
      if (found) rows = *found;
      for (const Item& i : stored) rows.push_back(i.row);
      meter_->Committed(rows, seconds);
      Remember(rows, fates);
      TellPending();
    }
    Report(stored, true);
    for (Item& i : refused) i.keep = false;
    Report(refused, false);
    return true;
  }
  if (outcome == pg::Conn::Outcome::Failed) {
    // Refused by the server (read-only, disk full): nothing was written.
    if (meter_) meter_->CommitFailed();
    Failed(error);
    std::vector<Item> refused = std::move(items);
    heldFates_.insert(heldFates_.end(), fates.begin(), fates.end());
    RefuseOrHold(refused);
    // A server that refuses writes is asked again after the retry delay.
    Reconnect();
    return false;
  }
  Broke(syncCancelled ? "commit in doubt: " + warning : error);
  heldFates_.insert(heldFates_.end(), fates.begin(), fates.end());
  if (!sent) {
    // Nothing reached the server: as if refused.
    if (meter_) meter_->CommitFailed();
    RefuseOrHold(items);
    return false;
  }
  Note("commit of " + std::to_string(items.size()) + " rows in doubt (" +
       (syncCancelled ? warning : error) + "), resolving");
  doubt_ = std::make_unique<Doubt>();
  doubt_->items = std::move(items);
  doubt_->sinceMs = pg::NowMs();
  doubt_->oldPid = oldPid;
  doubt_->systemId = systemId_;
  return false;
}

bool PgEventStore::Resolve() {
  std::string error;
  pg::Result r;
  // Any failure: a new connection tries again after the retry delay.
  const auto broken = [&](const std::string& why) {
    Broke("commit in doubt, not yet resolved: " + why);
    return false;
  };
  if (systemId_ == doubt_->systemId) {
    // The same server: the old session may still be committing. End it and
    // wait until it is gone, so what is read next is its final outcome.
    const std::vector<pg::Param> pid = {{pg::kInt8, pg::Int8(doubt_->oldPid)}};
    for (const int64_t end = pg::NowMs() + kCommitMs;;) {
      if (pg::NowMs() >= end) return broken("the old session does not end");
      if (conn_.Run("SELECT NOT EXISTS (SELECT 1 FROM pg_stat_activity WHERE pid = $1::int)"
                    " OR pg_terminate_backend($1::int, 1000)",
                    pid, kRoundTripMs, &r, &error) != pg::Conn::Outcome::Ok)
        return broken(error);
      if (conn_.Run("SELECT NOT EXISTS (SELECT 1 FROM pg_stat_activity WHERE pid = $1::int)", pid,
                    kRoundTripMs, &r, &error) != pg::Conn::Outcome::Ok)
        return broken(error);
      if (pg::GetBool(r.get(), 0, 0)) break;
    }
  }
  // Which rows are there, with their content.
  std::vector<int64_t> seqs;
  for (const Item& i : doubt_->items) seqs.push_back(i.row.seq);
  const std::string sql = std::string("SELECT ") + pg::kEventColumns +
                          " FROM quell_event WHERE node = $1 AND run = $2 AND seq = ANY($3)";
  if (conn_.Run(
          sql,
          {Text(options_.node), {pg::kInt8, pg::Int8(run_)}, {pg::kInt8Array, pg::Int8Array(seqs)}},
          kRoundTripMs, &r, &error) != pg::Conn::Outcome::Ok)
    return broken(error);
  std::map<int64_t, EventRow> found;
  NodeReader nodes;
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    EventRow row = RowFrom(r.get(), i, nodes);
    found.emplace(row.seq, std::move(row));
  }
  std::vector<Item> stored, missing, refused;
  std::vector<EventRow> late;
  int differing = 0;
  for (Item& i : doubt_->items) {
    const auto it = found.find(i.row.seq);
    if (it == found.end()) {
      // Not there: written now unless its sender has heard "not stored".
      if (!i.refused) missing.push_back(std::move(i));
    } else if (!SameContent(it->second, i.row)) {
      ++differing;
      if (!i.refused) refused.push_back(std::move(i));
    } else if (i.refused) {
      // Stored after all: delivered like any pending row.
      if (PendingRows::Waits(i.row)) late.push_back(std::move(i.row));
    } else {
      stored.push_back(std::move(i));
    }
  }
  // The rows not there, with this node's heartbeat: a commit that writes
  // and waits for any synchronous standby before anything is reported.
  std::vector<FateUpdate> none;
  const size_t written = missing.size();
  std::unique_ptr<Doubt> old = std::move(doubt_);
  const int pidBefore = conn_.BackendPid();
  std::vector<EventRow> foundRows;
  for (const Item& i : stored) foundRows.push_back(i.row);
  for (const EventRow& row : late) foundRows.push_back(row);
  if (!Commit(missing, none, &foundRows)) {
    // The rows found stored wait for the next resolution with the rest.
    if (!doubt_) {
      doubt_ = std::make_unique<Doubt>();
      doubt_->oldPid = pidBefore;
      doubt_->systemId = systemId_;
    }
    doubt_->sinceMs = old->sinceMs;
    doubt_->reported = old->reported;
    for (Item& i : stored) doubt_->items.push_back(std::move(i));
    for (EventRow& row : late) {
      Item i;
      i.row = std::move(row);
      i.refused = true;
      doubt_->items.push_back(std::move(i));
    }
    std::sort(doubt_->items.begin(), doubt_->items.end(),
              [](const Item& x, const Item& y) { return x.row.seq < y.row.seq; });
    return false;
  }
  Note("commit in doubt resolved: " + std::to_string(stored.size() + late.size()) +
       " rows found stored (" + std::to_string(late.size()) +
       " after their sender was told not stored, delivered anyway), " + std::to_string(written) +
       " written again, " + std::to_string(differing) +
       " found with different content, not stored");
  if (differing)
    Failed("commit in doubt: " + std::to_string(differing) +
           " rows found with different content, not stored");
  else
    Succeeded();
  Report(stored, true);
  for (Item& i : refused) i.keep = false;
  Report(refused, false);
  lateStored_ += late.size();
  if (!late.empty() && late_)
    Post([f = late_, rows = std::move(late)]() mutable { f(std::move(rows)); });
  return true;
}

void PgEventStore::Heartbeat() {
  std::string error;
  outstandingSinceMs_ = pg::NowMs();
  const auto [runs, seqs] = FloorParams(std::numeric_limits<int64_t>::max());
  const pg::Conn::Outcome o =
      conn_.Run(kHeartbeat, {Text(options_.node), runs, seqs}, kRoundTripMs, nullptr, &error);
  outstandingSinceMs_ = 0;
  if (o == pg::Conn::Outcome::Ok) {
    Succeeded();
    return;
  }
  Broke(error);
}

bool PgEventStore::PruneStep() {
  if (options_.keepDays <= 0) return true;
  const int64_t cutoff = NowUtc() - int64_t(options_.keepDays) * 24 * 3600 * 1000;
  pg::Result r;
  std::string error;
  // Oldest first, along the time index from its start.
  const pg::Conn::Outcome o = conn_.Run(
      "WITH gone AS (DELETE FROM quell_event WHERE ctid = ANY(ARRAY(SELECT ctid FROM quell_event"
      " WHERE node = $1 AND received_ms < $2 AND console_state <> 1 AND notice_state <> 1"
      " ORDER BY received_ms LIMIT " +
          std::to_string(kPruneStepRows) + ")) RETURNING 1) SELECT count(*) FROM gone",
      {Text(options_.node), {pg::kInt8, pg::Int8(cutoff)}}, kRoundTripMs, &r, &error);
  if (o != pg::Conn::Outcome::Ok) {
    if (o == pg::Conn::Outcome::Broken) Broke(error);
    return true;
  }
  lastTalkMs_ = pg::NowMs();
  return pg::GetInt8(r.get(), 0, 0) < kPruneStepRows;
}

void PgEventStore::ReadPendingOfAllNodes(AllPending done) {
  if (!done) return;
  {
    std::lock_guard g(lock_);
    asks_.push_back(std::move(done));
  }
  Wake();
}

void PgEventStore::WaitForWork(std::unique_lock<std::mutex>& g, int64_t ms) {
  g.unlock();
  pollfd fds[2] = {{intakeFd_, POLLIN, 0}, {conn_.Socket(), POLLIN, 0}};
  const nfds_t count = fds[1].fd >= 0 ? 2 : 1;
  if (::poll(fds, count, int(ms)) > 0 && fds[0].revents) {
    uint64_t n = 0;
    if (::read(intakeFd_, &n, sizeof n) < 0) {
      // Nothing to read: taken by an earlier wake-up.
    }
  }
  g.lock();
}

void PgEventStore::Broke(const std::string& error) {
  Failed(error);
  Reconnect();
}

void PgEventStore::ServerClosed(int64_t nowMs) {
  pid_ = 0;
  Failed("the server closed the connection");
  reconnectAtMs_ = nowMs;
}

void PgEventStore::Reconnect() {
  conn_.Close();
  pid_ = 0;
  reconnectAtMs_ = pg::NowMs() + retryMs_;
  retryMs_ = std::min(retryMs_ * 2, kRetryMostMs);
}

bool PgEventStore::Learn() {
  AnswerAsks();
  if (!options_.others || !conn_.IsOpen()) return true;
  if (!conn_.StillOpen()) {
    ServerClosed(pg::NowMs());  // reconnected by the next step
    return false;
  }
  OtherRows learnt;
  std::string error;
  size_t dropped = 0;
  bool read = true;
  // One read per run of another node, however many commits it notified.
  std::map<std::pair<std::string, int64_t>, std::pair<int64_t, int64_t>> ranges;
  for (const std::string& payload : conn_.TakeNotifications(&dropped)) {
    std::string node;
    int64_t run = 0, first = 0, last = 0;
    if (!ParseNotification(payload, &node, &run, &first, &last)) {
      if (!badNotificationSaid_)
        Note(std::string("a notification on ") + kChannel +
             " not understood (left alone): " + payload.substr(0, 80));
      badNotificationSaid_ = true;
      continue;
    }
    if (node == options_.node) continue;  // this node's own commit
    auto [it, added] = ranges.try_emplace({node, run}, first, last);
    if (added) continue;
    it->second.first = std::min(it->second.first, first);
    it->second.second = std::max(it->second.second, last);
  }
  for (const auto& [at, range] : ranges)
    if (!(read = ReadNotified(at.first, at.second, range.first, range.second, &learnt, &error)))
      break;
  // Notifications lost (too many at once): the scan finds their rows.
  if (dropped) nextScanMs_ = pg::NowMs();
  if (read && pg::NowMs() >= nextScanMs_) {
    read = Scan(&learnt, &error);
    if (read) nextScanMs_ = pg::NowMs() + options_.scanMs;
  }
  // Rows read before a failure are reported; the next scan finds the rest.
  if (!learnt.pending.empty() || !learnt.settled.empty()) {
    std::sort(learnt.pending.begin(), learnt.pending.end(),
              [](const EventRow& a, const EventRow& b) {
                return std::tie(a.receivedMs, a.node.str(), a.run, a.seq) <
                       std::tie(b.receivedMs, b.node.str(), b.run, b.seq);
              });
    Post([f = options_.others, learnt = std::move(learnt)]() mutable { f(std::move(learnt)); });
  }
  // Reads are not heartbeats: the node's row is still written on time.
  if (read) {
    learnError_.clear();
    return true;
  }
  if (!conn_.IsOpen()) {
    Broke(error);
    return false;
  }
  // Refused by the server: said once until it reads again, tried again at
  // the next scan.
  if (error != learnError_) Note("cannot read other nodes' rows: " + error);
  learnError_ = error;
  nextScanMs_ = pg::NowMs() + options_.scanMs;
  return true;
}

bool PgEventStore::ReadNotified(const std::string& node, int64_t run, int64_t first, int64_t last,
                                OtherRows* out, std::string* error) {
  pg::Result r;
  const std::string sql = std::string("SELECT ") + pg::kEventColumns +
                          " FROM quell_event WHERE node = $1 AND run = $2 AND seq BETWEEN $3 AND"
                          " $4 AND (console_state = 1 OR notice_state = 1) ORDER BY seq";
  if (conn_.Run(sql,
                {Text(node),
                 {pg::kInt8, pg::Int8(run)},
                 {pg::kInt8, pg::Int8(first)},
                 {pg::kInt8, pg::Int8(last)}},
                kRoundTripMs, &r, error) != pg::Conn::Outcome::Ok)
    return false;
  TellNew(r.get(), out);
  return true;
}

bool PgEventStore::Scan(OtherRows* out, std::string* error) {
  // From the other nodes' floors, keys only: the rows themselves are read
  // for the keys not yet reported.
  std::vector<RowKey> floors;
  if (ReadFloors(" WHERE n.node <> $1", {Text(options_.node)}, &floors, error) !=
      pg::Conn::Outcome::Ok)
    return false;
  std::vector<pg::Result> ranges;
  for (const RowKey& floor : floors) {
    ranges.emplace_back();
    if (ReadFromFloor(floor, "node, run, seq", kRoundTripMs, &ranges.back(), error) !=
        pg::Conn::Outcome::Ok)
      return false;
  }
  std::unordered_set<RowKey, RowKeyHash> now;
  std::vector<const std::string*> nodes;
  std::vector<int64_t> runs, seqs;
  NodeReader names;
  for (const pg::Result& r : ranges)
    for (int i = 0; i < PQntuples(r.get()); ++i) {
      const RowKey key{names.Read(r.get(), i, 0), pg::GetInt8(r.get(), i, 1),
                       pg::GetInt8(r.get(), i, 2)};
      now.insert(key);
      if (othersTold_.count(key)) continue;
      nodes.push_back(&key.node.str());
      runs.push_back(key.run);
      seqs.push_back(key.seq);
    }
  for (auto it = othersTold_.begin(); it != othersTold_.end();) {
    if (now.count(*it)) {
      ++it;
      continue;
    }
    out->settled.push_back(*it);
    it = othersTold_.erase(it);
  }
  if (seqs.empty()) return true;
  pg::Result r;
  const std::string sql = std::string("SELECT ") + pg::kEventColumns +
                          " FROM quell_event JOIN unnest($1::text[], $2::int8[], $3::int8[])"
                          " AS k(node, run, seq) USING (node, run, seq)"
                          " WHERE console_state = 1 OR notice_state = 1";
  if (conn_.Run(sql,
                {{pg::kTextArray, pg::TextArray(nodes)},
                 {pg::kInt8Array, pg::Int8Array(runs)},
                 {pg::kInt8Array, pg::Int8Array(seqs)}},
                kRoundTripMs, &r, error) != pg::Conn::Outcome::Ok)
    return false;
  TellNew(r.get(), out);
  return true;
}

void PgEventStore::TellNew(const PGresult* r, OtherRows* out) {
  NodeReader nodes;
  for (int i = 0; i < PQntuples(r); ++i) {
    EventRow row = RowFrom(r, i, nodes);
    if (othersTold_.insert(row.Key()).second) out->pending.push_back(std::move(row));
  }
}

void PgEventStore::AnswerAsks() {
  std::vector<AllPending> asks;
  {
    std::lock_guard g(lock_);
    asks.swap(asks_);
  }
  if (asks.empty()) return;
  std::vector<EventRow> rows;
  bool ok = false;
  if (conn_.IsOpen()) {
    std::string error;
    std::vector<std::vector<EventRow>> runs;
    std::vector<int64_t> started;
    const pg::Conn::Outcome o = ReadPendingRows("", {}, &runs, &started, &error);
    ok = o == pg::Conn::Outcome::Ok;
    if (o == pg::Conn::Outcome::Broken) Broke(error);
    if (ok) {
      for (std::vector<EventRow>& run : runs)
        for (EventRow& row : run) {
          // Returned now: others hears of them again only once they settle.
          if (options_.others && !(row.node == node_)) othersTold_.insert(row.Key());
          rows.push_back(std::move(row));
        }
      // In the shared order.
      std::sort(rows.begin(), rows.end(), [](const EventRow& a, const EventRow& b) {
        return std::forward_as_tuple(a.receivedMs, a.node.str(), a.run, a.seq) <
               std::forward_as_tuple(b.receivedMs, b.node.str(), b.run, b.seq);
      });
    }
  }
  Post([asks = std::move(asks), ok, rows = std::move(rows)] {
    for (const AllPending& done : asks) done(ok, rows);
  });
}

void PgEventStore::Remember(const std::vector<EventRow>& rows,
                            const std::vector<FateUpdate>& fates) {
  for (const EventRow& r : rows) pending_.Add(r);
  for (const FateUpdate& f : fates) pending_.Apply(f);
}

std::pair<pg::Param, pg::Param> PgEventStore::FloorParams(int64_t from) const {
  std::vector<int64_t> runs, seqs;
  for (const auto& [run, seq] : floors_.Floors(run_, from)) {
    runs.push_back(run);
    seqs.push_back(seq);
  }
  return {{pg::kInt8Array, pg::Int8Array(runs)}, {pg::kInt8Array, pg::Int8Array(seqs)}};
}

void PgEventStore::FloorFates(const std::vector<FateUpdate>& fates) {
  for (const FateUpdate& f : fates)
    if (f.key.node == node_) floors_.Apply(f.key.run, f.key.seq, f.target, f.fate);
}

void PgEventStore::TellPending() {
  // Rows of earlier runs were numbered first: the order is acceptance order.
  meter_->Pending(pending_.Figures());
}

void PgEventStore::RefuseOrHold(std::vector<Item>& items) {
  std::vector<Item> told;
  for (Item& i : items) {
    told.push_back(Item{EventRow{}, std::move(i.done), i.keep, std::move(i.waiter)});
    if (i.keep) held_.push_back(std::move(i));
  }
  heldCount_ = held_.size();
  Report(told, false);
}

void PgEventStore::Report(std::vector<Item>& items, bool stored) {
  std::vector<std::pair<Done, bool>> dones;
  for (Item& item : items) {
    if (item.waiter) {
      TellWaiter(item, stored);
    } else if (item.done) {
      dones.emplace_back(std::move(item.done), stored || item.keep);
    }
  }
  if (dones.empty()) return;
  Post([dones = std::move(dones)] {
    for (const auto& [done, stored] : dones) done(stored);
  });
}

}  // namespace quell
