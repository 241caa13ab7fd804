#pragma once
// The events file: one SQLite database in WAL mode with synchronous=FULL,
// so a committed row survives a crash or a power cut. Used by the store's
// own thread and by the history readers; one object, one thread.
#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/event_log.h"

struct sqlite3;
struct sqlite3_stmt;

namespace quell {

// A row's file keeps seq alone; a shared history the whole key.
struct FateUpdate {
  RowKey key;
  EventTarget target = EventTarget::Console;
  EventFate fate = EventFate::None;
};

// Which rows a history reader wants; empty or zero fields match all.
struct EventQuery {
  std::string account;
  int64_t sinceMs = 0;    // received at or after
  int64_t untilMs = 0;    // received at or before; 0: no bound
  int64_t beforeSeq = 0;  // rows with a smaller sequence number; 0: no bound
  int limit = 0;          // 0: all
  bool newestFirst = false;
};

class EventDb {
 public:
  enum class OpenResult { Opened, Recreated, Failed };

  EventDb() = default;
  ~EventDb();
  EventDb(const EventDb&) = delete;
  EventDb& operator=(const EventDb&) = delete;

  // Opens (or creates) the file for writing. A file that is not a database
  // or is damaged is renamed to "<path>.corrupt-<yyyyMMdd-hhmmss>" and a new
  // one made (Recreated). error receives the reason on failure.
  OpenResult Open(const std::string& path, std::string* error);
  // Opens an existing file for reading only (history readers).
  bool OpenReadOnly(const std::string& path, std::string* error);
  void Close();
  bool IsOpen() const { return db_ != nullptr; }
  // What the last Open did beyond opening, for the journal: a damaged file
  // set aside, an earlier version's file brought up to date.
  std::vector<std::string> TakeOpenNotes() { return std::exchange(openNotes_, {}); }

  // True while the path still names the file this object has open: in WAL
  // mode writes to a removed file keep succeeding and would be lost.
  bool SameFile() const;

  // One transaction: the rows, then the fate updates. False (nothing
  // written) when any statement fails; error receives the reason.
  // floor (when above 0): every row with a delivery pending after this
  // commit has a number at or above it; it is written with the commit.
  bool Write(const std::vector<EventRow>& rows, const std::vector<FateUpdate>& fates,
             std::string* error, int64_t floor = 0);

  int64_t MaxSeq();
  // Rows with a pending console entry or notice, in sequence order.
  std::vector<EventRow> Pending();
  // The copy keys of rows received at or after sinceMs, the newest limit of
  // them, oldest first.
  std::vector<RecentCopy> RecentCopies(int64_t sinceMs, int limit);
  // Calls each matching row in order; stops when the callback returns false.
  bool Read(const EventQuery& query, const std::function<bool(const EventRow&)>& each,
            std::string* error);
  // Removes at most limit rows received before beforeMs with nothing pending;
  // returns how many went, or -1 on failure.
  int Prune(int64_t beforeMs, int limit);
  // Copies the write-ahead log into the file; passive does not wait for
  // readers, otherwise the log is also cut to nothing (to give space back).
  void Checkpoint(bool passive = true);
  // Pages in the write-ahead log after the last commit.
  int WalPages() const { return walPages_; }

 private:
  bool Exec(const char* sql, std::string* error);
  // Runs the statements in one write transaction; rolled back on failure.
  bool ExecTransaction(const std::string& statements, std::string* error);
  // Adds the columns an older file lacks.
  bool AddColumns(std::string* error);
  // The statements of every commit, prepared once per open file.
  bool PrepareWriters(std::string* error);
  // Makes the pending floor of a new file, or of an earlier version's file
  // from its pending index (which then goes).
  bool SetUpFloor(std::string* error);
  // Makes the account index of a new file, or of an earlier version's file
  // from its index of every account (which then goes).
  bool SetUpAccounts(std::string* error);
  bool HasIndex(const char* name);
  // The seq of a one-row table's row; false when it has none (or no table).
  bool ReadMark(const char* table, int64_t* seq);
  // Reads the rows of one statement; limit < 0: all. Stops early (stopped)
  // when the callback says so.
  bool ReadRows(const std::string& sql, const EventQuery& q, int64_t mark, int limit,
                const std::function<bool(const EventRow&)>& each, int* count, bool* stopped,
                std::string* error);
  bool WriteFates(const std::vector<FateUpdate>& fates, std::string* error);
  bool Step(sqlite3_stmt* s, std::string* error);
  std::string Error() const;

  sqlite3* db_ = nullptr;
  sqlite3_stmt* begin_ = nullptr;
  sqlite3_stmt* commit_ = nullptr;
  sqlite3_stmt* rollback_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* setConsole_ = nullptr;
  sqlite3_stmt* setNotice_ = nullptr;
  sqlite3_stmt* setBoth_ = nullptr;
  sqlite3_stmt* setFloor_ = nullptr;
  sqlite3_stmt* addAccount_ = nullptr;
  sqlite3_stmt* indexAccounts_ = nullptr;
  sqlite3_stmt* setIndexed_ = nullptr;
  int64_t floor_ = 0;    // the floor the file holds
  int64_t indexed_ = 0;  // rows at or below it are in the account index
  int64_t written_ = 0;  // the highest number written
  std::string path_;
  std::vector<std::string> openNotes_;
  bool upgraded_ = false;  // this open changed an earlier version's file
  int walPages_ = 0;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

}  // namespace quell
