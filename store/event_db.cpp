#include "store/event_db.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <QDateTime>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <unordered_map>

namespace quell {
namespace {

const char* kSchema =
    "CREATE TABLE IF NOT EXISTS events("
    " seq INTEGER PRIMARY KEY,"
    " received_ms INTEGER NOT NULL,"
    " road TEXT NOT NULL,"
    " line TEXT NOT NULL,"
    " peer TEXT NOT NULL,"
    " account TEXT NOT NULL,"
    " raw BLOB NOT NULL,"
    " console_text BLOB NOT NULL,"
    " console_state INTEGER NOT NULL,"
    " notice_text BLOB NOT NULL,"
    " notice_state INTEGER NOT NULL,"
    " sia TEXT NOT NULL DEFAULT '',"
    " copy_key TEXT NOT NULL DEFAULT '');";

// Indexes, made once the columns of older files have been added.
const char* kIndexes =
    "CREATE INDEX IF NOT EXISTS events_received ON events(received_ms);"
    // Copy keys are random hashes: an index of them dirtied a page at a
    // random place for each row, which doubled what every commit wrote.
    // They are read back by time (RecentCopies), so files that have the
    // index lose it.
    "DROP INDEX IF EXISTS events_copy_key;";

// The pending floor: every row with a delivery pending has a number at or
// above it, so the pending rows are read from there on by number. It
// replaces an index of the pending rows, which each row entered at its
// insert and left at its delivery: two index writes per row, and one more
// page in every commit.
const char* kFloorTable =
    "CREATE TABLE IF NOT EXISTS events_floor(id INTEGER PRIMARY KEY CHECK (id = 1),"
    " seq INTEGER NOT NULL);";
constexpr int64_t kFloorStride = 4096;  // rows the floor may lag behind
const char* kPendingWhere = "(console_state = 1 OR notice_state = 1)";

// The account index, filled in batches: events_by_account holds (account,
// seq) for every row numbered at or below events_indexed's seq, and rows
// above it are read by number. An index kept by SQLite put each row's entry
// on its account's own page, so a commit of rows from many accounts wrote a
// page for each; a batch of a stride of rows sorted by account writes each
// account's page once. A row written late (numbered at or below the mark)
// gets its entry at once. The trigger takes the entries of removed rows.
const char* kAccountTables =
    "CREATE TABLE IF NOT EXISTS events_by_account(account TEXT NOT NULL, seq INTEGER NOT NULL,"
    " PRIMARY KEY (account, seq)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS events_indexed(id INTEGER PRIMARY KEY CHECK (id = 1),"
    " seq INTEGER NOT NULL);"
    "CREATE TRIGGER IF NOT EXISTS events_by_account_gone AFTER DELETE ON events BEGIN"
    " DELETE FROM events_by_account WHERE account = old.account AND seq = old.seq; END;";
constexpr int64_t kAccountStride = 4096;  // rows the account index may lag behind
// The index of every account that files of earlier versions kept.
const char* kOldAccountIndex = "events_account";

// Columns added since the first files: each is added to an older file when opened.
const char* const kAddedColumns[][2] = {
    {"sia", "ALTER TABLE events ADD COLUMN sia TEXT NOT NULL DEFAULT ''"},
    {"copy_key", "ALTER TABLE events ADD COLUMN copy_key TEXT NOT NULL DEFAULT ''"},
};

const char* kColumns =
    "seq, received_ms, road, line, peer, account, raw, console_text, console_state,"
    " notice_text, notice_state, sia, copy_key";

// kColumns, each named as a column of "e" (the events table in a join).
const std::string& QualifiedColumns() {
  static const std::string columns = [] {
    std::string out = "e.";
    for (const char* c = kColumns; *c; ++c) {
      out += *c;
      if (*c == ' ') out += "e.";
    }
    return out;
  }();
  return columns;
}

// Owns one prepared statement.
class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), int(sql.size()), &stmt_, nullptr) != SQLITE_OK)
      stmt_ = nullptr;
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Ok() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }
  void Text(int i, const std::string& s) {
    sqlite3_bind_text(stmt_, i, s.data(), int(s.size()), SQLITE_TRANSIENT);
  }
  void Int(int i, int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
  // Runs a statement that returns no rows; ready to run again afterwards.
  bool Run() {
    const int rc = sqlite3_step(stmt_);
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    return rc == SQLITE_DONE;
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

std::string ColumnBytes(sqlite3_stmt* s, int i) {
  const void* p = sqlite3_column_blob(s, i);
  const int n = sqlite3_column_bytes(s, i);
  return p ? std::string(static_cast<const char*>(p), size_t(n)) : std::string();
}

EventRow RowAt(sqlite3_stmt* s) {
  EventRow r;
  r.seq = sqlite3_column_int64(s, 0);
  r.receivedMs = sqlite3_column_int64(s, 1);
  r.road = ColumnBytes(s, 2);
  r.line = ColumnBytes(s, 3);
  r.peer = ColumnBytes(s, 4);
  r.account = ColumnBytes(s, 5);
  r.raw = ColumnBytes(s, 6);
  r.consoleText = ColumnBytes(s, 7);
  r.console = EventFate(sqlite3_column_int(s, 8));
  r.noticeText = ColumnBytes(s, 9);
  r.notice = EventFate(sqlite3_column_int(s, 10));
  r.sia = ColumnBytes(s, 11);
  r.copyKey = ColumnBytes(s, 12);
  return r;
}

bool Damaged(int rc) {
  rc &= 0xff;
  return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

}  // namespace

EventDb::~EventDb() {
  Close();
}

void EventDb::Close() {
  for (sqlite3_stmt** s : {&begin_, &commit_, &rollback_, &insert_, &setConsole_, &setNotice_,
                           &setBoth_, &setFloor_, &addAccount_, &indexAccounts_, &setIndexed_}) {
    sqlite3_finalize(*s);
    *s = nullptr;
  }
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool EventDb::AddColumns(std::string* error) {
  std::vector<std::string> have;
  {
    Statement s(db_, "PRAGMA table_info(events)");
    while (s.Ok() && sqlite3_step(s.get()) == SQLITE_ROW) have.push_back(ColumnBytes(s.get(), 1));
  }
  for (const auto& [name, sql] : kAddedColumns) {
    if (std::find(have.begin(), have.end(), name) != have.end()) continue;
    if (!Exec(sql, error)) return false;
    upgraded_ = true;
  }
  return true;
}

bool EventDb::SetUpFloor(std::string* error) {
  if (!Exec(kFloorTable, error)) return false;
  const bool hasFloor = ReadMark("events_floor", &floor_);
  const bool hasIndex = HasIndex("events_pending");
  // A file of an earlier version has the pending index and no floor (or a
  // floor it did not keep): the floor is found through that index, once,
  // and the index goes in the same transaction.
  if (hasFloor && !hasIndex) return true;
  if (hasIndex || MaxSeq() > 0) upgraded_ = true;
  int64_t floor = 1;
  {
    Statement s(db_, std::string("SELECT COALESCE(MIN(seq), (SELECT COALESCE(MAX(seq), 0) + 1"
                                 " FROM events)) FROM events WHERE ") +
                         kPendingWhere);
    if (!s.Ok() || sqlite3_step(s.get()) != SQLITE_ROW) {
      if (error) *error = Error();
      return false;
    }
    floor = sqlite3_column_int64(s.get(), 0);
  }
  if (!ExecTransaction("INSERT OR REPLACE INTO events_floor VALUES(1, " + std::to_string(floor) +
                           "); DROP INDEX IF EXISTS events_pending;",
                       error))
    return false;
  floor_ = floor;
  return true;
}

bool EventDb::ExecTransaction(const std::string& statements, std::string* error) {
  if (Exec(("BEGIN IMMEDIATE; " + statements + " COMMIT;").c_str(), error)) return true;
  std::string ignored;
  if (!sqlite3_get_autocommit(db_)) Exec("ROLLBACK", &ignored);
  return false;
}

bool EventDb::HasIndex(const char* name) {
  Statement s(db_, "SELECT 1 FROM sqlite_schema WHERE type = 'index' AND name = ?1");
  if (!s.Ok()) return false;
  s.Text(1, name);
  return sqlite3_step(s.get()) == SQLITE_ROW;
}

bool EventDb::ReadMark(const char* table, int64_t* seq) {
  Statement s(db_, std::string("SELECT seq FROM ") + table + " WHERE id = 1");
  if (!s.Ok() || sqlite3_step(s.get()) != SQLITE_ROW) return false;
  *seq = sqlite3_column_int64(s.get(), 0);
  return true;
}

bool EventDb::SetUpAccounts(std::string* error) {
  if (!Exec(kAccountTables, error)) return false;
  written_ = MaxSeq();
  // A file of an earlier version has the index of every account and no
  // mark (or a mark it did not keep): the entries of all its rows are made
  // once, and the index goes in the same transaction.
  if (ReadMark("events_indexed", &indexed_) && !HasIndex(kOldAccountIndex)) return true;
  if (written_ > 0) upgraded_ = true;
  if (!ExecTransaction(
          "DELETE FROM events_by_account;"
          " INSERT INTO events_by_account SELECT account, seq FROM events ORDER BY account, seq;"
          " INSERT OR REPLACE INTO events_indexed VALUES(1, " +
              std::to_string(written_) + "); DROP INDEX IF EXISTS " + kOldAccountIndex + ";",
          error))
    return false;
  indexed_ = written_;
  return true;
}

bool EventDb::PrepareWriters(std::string* error) {
  const std::string insert = std::string("INSERT OR REPLACE INTO events(") + kColumns +
                             ") VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)";
  const std::pair<sqlite3_stmt**, std::string> statements[] = {
      {&begin_, "BEGIN IMMEDIATE"},
      {&commit_, "COMMIT"},
      {&rollback_, "ROLLBACK"},
      {&insert_, insert},
      {&setConsole_, "UPDATE events SET console_state = ?1 WHERE seq BETWEEN ?2 AND ?3"},
      {&setNotice_, "UPDATE events SET notice_state = ?1 WHERE seq BETWEEN ?2 AND ?3"},
      {&setBoth_,
       "UPDATE events SET console_state = ?1, notice_state = ?2 WHERE seq BETWEEN ?3 AND ?4"},
      {&setFloor_, "UPDATE events_floor SET seq = ? WHERE id = 1"},
      {&addAccount_, "INSERT OR IGNORE INTO events_by_account(account, seq) VALUES(?, ?)"},
      {&indexAccounts_,
       "INSERT OR IGNORE INTO events_by_account SELECT account, seq FROM events"
       " WHERE seq > ?1 AND seq <= ?2 ORDER BY account, seq"},
      {&setIndexed_, "UPDATE events_indexed SET seq = ? WHERE id = 1"},
  };
  for (const auto& [stmt, sql] : statements) {
    if (sqlite3_prepare_v3(db_, sql.c_str(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, stmt,
                           nullptr) != SQLITE_OK) {
      if (error) *error = Error();
      return false;
    }
  }
  return true;
}

bool EventDb::Step(sqlite3_stmt* s, std::string* error) {
  const int rc = sqlite3_step(s);
  sqlite3_reset(s);
  sqlite3_clear_bindings(s);
  if (rc == SQLITE_DONE) return true;
  if (error) *error = Error();
  return false;
}

std::string EventDb::Error() const {
  return db_ ? sqlite3_errmsg(db_) : "not open";
}

bool EventDb::Exec(const char* sql, std::string* error) {
  char* message = nullptr;
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
  if (rc != SQLITE_OK && error) *error = message ? message : sqlite3_errstr(rc);
  sqlite3_free(message);
  return rc == SQLITE_OK;
}

EventDb::OpenResult EventDb::Open(const std::string& path, std::string* error) {
  Close();
  path_ = path;
  openNotes_.clear();
  upgraded_ = false;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int rc =
        sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    int code = rc;
    if (rc == SQLITE_OK) {
      sqlite3_busy_timeout(db_, 1000);
      // Checkpoints are run by the store when it is idle, never by a commit.
      if (Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
               " PRAGMA wal_autocheckpoint=0;",
               error) &&
          Exec(kSchema, error) && AddColumns(error) && Exec(kIndexes, error) && SetUpFloor(error) &&
          SetUpAccounts(error) && PrepareWriters(error)) {
        walPages_ = 0;
        sqlite3_wal_hook(
            db_,
            [](void* self, sqlite3*, const char*, int pages) {
              static_cast<EventDb*>(self)->walPages_ = pages;
              return SQLITE_OK;
            },
            this);
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
          device_ = st.st_dev;
          inode_ = st.st_ino;
        }
        if (upgraded_)
          openNotes_.push_back("events file " + path +
                               " of an earlier version brought up to date (" +
                               std::to_string(written_) + " events)");
        return attempt == 0 ? OpenResult::Opened : OpenResult::Recreated;
      }
      code = sqlite3_extended_errcode(db_);
    } else if (error) {
      *error = sqlite3_errstr(rc);
    }
    Close();
    if (!Damaged(code) || attempt > 0) return OpenResult::Failed;
    const std::string aside =
        path + ".corrupt-" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")).toStdString();
    if (std::rename(path.c_str(), aside.c_str()) != 0) return OpenResult::Failed;
    openNotes_.push_back("events file " + path + " damaged (" + sqlite3_errstr(code) +
                         "): set aside as " + aside + ", a new one made");
    std::remove((path + "-wal").c_str());
    std::remove((path + "-shm").c_str());
  }
  return OpenResult::Failed;
}

bool EventDb::OpenReadOnly(const std::string& path, std::string* error) {
  Close();
  path_ = path;
  const int rc =
      sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    if (error) *error = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    Close();
    return false;
  }
  sqlite3_busy_timeout(db_, 2000);
  return true;
}

bool EventDb::SameFile() const {
  struct stat st {};
  return db_ && ::stat(path_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_;
}

bool EventDb::Write(const std::vector<EventRow>& rows, const std::vector<FateUpdate>& fates,
                    std::string* error, int64_t floor) {
  if (!db_) {
    if (error) *error = "not open";
    return false;
  }
  if (!Step(begin_, error)) return false;
  bool ok = true;
  int64_t top = written_;
  for (size_t i = 0; ok && i < rows.size(); ++i) {
    const EventRow& r = rows[i];
    // The texts live until the step: bound without a copy.
    const auto text = [&](int at, const std::string& v) {
      sqlite3_bind_text(insert_, at, v.data(), int(v.size()), SQLITE_STATIC);
    };
    const auto blob = [&](int at, const std::string& v) {
      sqlite3_bind_blob(insert_, at, v.data(), int(v.size()), SQLITE_STATIC);
    };
    sqlite3_bind_int64(insert_, 1, r.seq);
    sqlite3_bind_int64(insert_, 2, r.receivedMs);
    text(3, r.road);
    text(4, r.line);
    text(5, r.peer);
    text(6, r.account);
    blob(7, r.raw);
    blob(8, r.consoleText);
    sqlite3_bind_int(insert_, 9, int(r.console));
    blob(10, r.noticeText);
    sqlite3_bind_int(insert_, 11, int(r.notice));
    text(12, r.sia);
    text(13, r.copyKey);
    ok = Step(insert_, error);
    top = std::max(top, r.seq);
    if (ok && r.seq <= indexed_) {
      sqlite3_bind_text(addAccount_, 1, r.account.data(), int(r.account.size()), SQLITE_STATIC);
      sqlite3_bind_int64(addAccount_, 2, r.seq);
      ok = Step(addAccount_, error);
    }
  }
  ok = ok && WriteFates(fates, error);
  const bool index = top - indexed_ >= kAccountStride;
  if (ok && index) {
    sqlite3_bind_int64(indexAccounts_, 1, indexed_);
    sqlite3_bind_int64(indexAccounts_, 2, top);
    sqlite3_bind_int64(setIndexed_, 1, top);
    ok = Step(indexAccounts_, error) && Step(setIndexed_, error);
  }
  // A floor below the true one only makes the read from it longer: it moves
  // up in strides, and down (rows written again late) at once.
  const bool newFloor = floor > 0 && (floor < floor_ || floor - floor_ >= kFloorStride);
  if (ok && newFloor) {
    sqlite3_bind_int64(setFloor_, 1, floor);
    ok = Step(setFloor_, error);
  }
  if (ok && Step(commit_, error)) {
    if (newFloor) floor_ = floor;
    written_ = top;
    if (index) indexed_ = top;
    return true;
  }
  std::string ignored;
  if (!sqlite3_get_autocommit(db_)) Step(rollback_, &ignored);
  return false;
}

// Every UPDATE rewrites the whole row, so a row's two fates that share a
// commit (an event handed to the console and to the client in one turn) are
// written by one statement. The last fate given for a target wins. Rows
// with consecutive numbers and the same fates (the console and the clients
// take rows in order) are written by one statement over their range.
bool EventDb::WriteFates(const std::vector<FateUpdate>& fates, std::string* error) {
  struct Both {
    int64_t seq = 0;
    std::optional<EventFate> console, notice;
    bool SameFates(const Both& o) const { return console == o.console && notice == o.notice; }
  };
  std::vector<Both> merged;
  merged.reserve(fates.size());
  std::unordered_map<int64_t, size_t> at;
  at.reserve(fates.size());
  for (const FateUpdate& f : fates) {
    const auto [it, added] = at.try_emplace(f.key.seq, merged.size());
    if (added) merged.push_back(Both{f.key.seq, {}, {}});
    Both& b = merged[it->second];
    (f.target == EventTarget::Console ? b.console : b.notice) = f.fate;
  }
  std::sort(merged.begin(), merged.end(),
            [](const Both& a, const Both& b) { return a.seq < b.seq; });
  for (size_t first = 0, last = 0; first < merged.size(); first = ++last) {
    const Both& b = merged[first];
    while (last + 1 < merged.size() && merged[last + 1].seq == merged[last].seq + 1 &&
           merged[last + 1].SameFates(b))
      ++last;
    sqlite3_stmt* s;
    int column = 1;
    if (b.console && b.notice) {
      s = setBoth_;
      sqlite3_bind_int(s, column++, int(*b.console));
      sqlite3_bind_int(s, column++, int(*b.notice));
    } else {
      s = b.console ? setConsole_ : setNotice_;
      sqlite3_bind_int(s, column++, int(b.console ? *b.console : *b.notice));
    }
    sqlite3_bind_int64(s, column++, b.seq);
    sqlite3_bind_int64(s, column, merged[last].seq);
    if (!Step(s, error)) return false;
  }
  return true;
}

int64_t EventDb::MaxSeq() {
  Statement s(db_, "SELECT COALESCE(MAX(seq), 0) FROM events");
  if (!s.Ok() || sqlite3_step(s.get()) != SQLITE_ROW) return 0;
  return sqlite3_column_int64(s.get(), 0);
}

std::vector<EventRow> EventDb::Pending() {
  std::vector<EventRow> rows;
  // From the floor on, by number (a missing floor reads every row).
  Statement s(db_, std::string("SELECT ") + kColumns +
                       " FROM events WHERE seq >= COALESCE((SELECT seq FROM events_floor"
                       " WHERE id = 1), 0) AND " +
                       kPendingWhere + " ORDER BY seq");
  while (s.Ok() && sqlite3_step(s.get()) == SQLITE_ROW) rows.push_back(RowAt(s.get()));
  return rows;
}

std::vector<RecentCopy> EventDb::RecentCopies(int64_t sinceMs, int limit) {
  std::vector<RecentCopy> copies;
  // The first row received in the window, through the time index; then the
  // rows from it on, newest first, by number.
  Statement first(db_, "SELECT min(seq) FROM events WHERE received_ms >= ?1");
  first.Int(1, sinceMs);
  if (!first.Ok() || sqlite3_step(first.get()) != SQLITE_ROW ||
      sqlite3_column_type(first.get(), 0) == SQLITE_NULL)
    return copies;
  Statement s(db_,
              "SELECT received_ms, copy_key FROM events WHERE seq >= ?3 AND received_ms >= ?1"
              " AND copy_key <> '' ORDER BY seq DESC LIMIT ?2");
  s.Int(1, sinceMs);
  s.Int(2, limit);
  s.Int(3, sqlite3_column_int64(first.get(), 0));
  while (s.Ok() && sqlite3_step(s.get()) == SQLITE_ROW)
    copies.push_back({sqlite3_column_int64(s.get(), 0), ColumnBytes(s.get(), 1)});
  std::reverse(copies.begin(), copies.end());
  return copies;
}

bool EventDb::Read(const EventQuery& q, const std::function<bool(const EventRow&)>& each,
                   std::string* error) {
  std::string where;
  if (q.sinceMs) where += " AND e.received_ms >= ?2";
  if (q.untilMs) where += " AND e.received_ms <= ?3";
  if (q.beforeSeq) where += " AND e.seq < ?4";
  const std::string order = q.newestFirst ? " ORDER BY e.seq DESC" : " ORDER BY e.seq";
  const std::string select = "SELECT " + QualifiedColumns() + " FROM ";
  const int limit = q.limit > 0 ? q.limit : -1;
  int count = 0;
  bool stopped = false;
  // One snapshot for the mark and both parts.
  const bool own = sqlite3_get_autocommit(db_) && Exec("BEGIN", nullptr);
  int64_t mark = 0;
  bool ok;
  if (q.account.empty() || HasIndex(kOldAccountIndex) || !ReadMark("events_indexed", &mark)) {
    // Every row at once: no account asked, or a file whose account index
    // is SQLite's own (an earlier version's).
    ok = ReadRows(select + "events e WHERE 1" + (q.account.empty() ? "" : " AND e.account = ?1") +
                      where + order,
                  q, 0, limit, each, &count, &stopped, error);
  } else {
    // The indexed rows through the account index, and the rows above the
    // mark by number: older part first, or newer part first.
    const std::string indexed = select +
                                "events_by_account a JOIN events e ON e.seq = a.seq"
                                " WHERE a.account = ?1 AND e.account = ?1 AND a.seq <= ?5" +
                                where +
                                (q.newestFirst ? " ORDER BY a.seq DESC" : " ORDER BY a.seq");
    const std::string above =
        select + "events e WHERE e.seq > ?5 AND e.account = ?1" + where + order;
    const std::string& first = q.newestFirst ? above : indexed;
    const std::string& second = q.newestFirst ? indexed : above;
    ok = ReadRows(first, q, mark, limit, each, &count, &stopped, error);
    if (ok && !stopped && (limit < 0 || count < limit))
      ok = ReadRows(second, q, mark, limit < 0 ? -1 : limit - count, each, &count, &stopped, error);
  }
  if (own) Exec("COMMIT", nullptr);
  return ok;
}

bool EventDb::ReadRows(const std::string& sql, const EventQuery& q, int64_t mark, int limit,
                       const std::function<bool(const EventRow&)>& each, int* count, bool* stopped,
                       std::string* error) {
  Statement s(db_, limit < 0 ? sql : sql + " LIMIT " + std::to_string(limit));
  if (!s.Ok()) {
    if (error) *error = Error();
    return false;
  }
  if (!q.account.empty()) s.Text(1, q.account);
  if (q.sinceMs) s.Int(2, q.sinceMs);
  if (q.untilMs) s.Int(3, q.untilMs);
  if (q.beforeSeq) s.Int(4, q.beforeSeq);
  s.Int(5, mark);
  int rc;
  while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
    ++*count;
    if (!each(RowAt(s.get()))) {
      *stopped = true;
      return true;
    }
  }
  if (rc != SQLITE_DONE) {
    if (error) *error = Error();
    return false;
  }
  return true;
}

int EventDb::Prune(int64_t beforeMs, int limit) {
  Statement s(db_,
              "DELETE FROM events WHERE seq IN (SELECT seq FROM events WHERE received_ms < ?1"
              " AND console_state <> 1 AND notice_state <> 1 ORDER BY seq LIMIT ?2)");
  if (!s.Ok()) return -1;
  s.Int(1, beforeMs);
  s.Int(2, limit);
  if (!s.Run()) return -1;
  return sqlite3_changes(db_);
}

void EventDb::Checkpoint(bool passive) {
  if (!db_) return;
  int logPages = 0, copied = 0;
  const int rc = sqlite3_wal_checkpoint_v2(
      db_, nullptr, passive ? SQLITE_CHECKPOINT_PASSIVE : SQLITE_CHECKPOINT_TRUNCATE, &logPages,
      &copied);
  // All copied: the next commit writes the log from its start again.
  if (rc == SQLITE_OK && copied == logPages) walPages_ = 0;
}

}  // namespace quell
