#pragma once
// Where accepted events are kept until the station has taken them: one row
// per event, written to stable storage before the sender is told "taken".
// The store runs on a thread of its own; callers hand rows over and learn
// the outcome from a completion. Without a store (null) every row counts as
// stored at once.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/row_key.h"

namespace quell {

// What became of a row's console entry or notice.
enum class EventFate : int {
  None = 0,           // the event produced no such text
  Pending = 1,        // waiting for the console or the client
  Delivered = 2,      // all bytes handed over
  Dropped = 3,        // dropped by design (console silent without store-offline)
  NotForConsole = 4,  // kept for the history only (periodic test report)
};

struct EventRow {
  int64_t seq = 0;         // set by the store: acceptance order
  NodeName node;           // set by a shared store: the gateway that accepted it
  int64_t run = 0;         // set by a shared store: that gateway's run
  int64_t receivedMs = 0;  // UTC, milliseconds since the epoch
  std::string road;        // "tcp", "dc09", "mlr", "vorti", "sms", "key", "module"
  std::string line;        // the port number or the line's name
  std::string peer;        // the sender's address, when it has one
  std::string account;
  std::string raw;          // the bytes as received
  std::string consoleText;  // the console-queue entry, terminators included
  EventFate console = EventFate::None;
  std::string noticeText;  // the client notice
  EventFate notice = EventFate::None;
  std::string sia;      // a DC-09 SIA-DCS event's code and address as received ("BA501")
  std::string copyKey;  // a DC-09 frame's retransmission key: "ACCOUNT:" + 16 hex digits

  RowKey Key() const { return RowKey{node, run, seq}; }
};

// An acknowledged DC-09 frame read back from the store at start-up.
struct RecentCopy {
  int64_t receivedMs = 0;
  std::string copyKey;
};

enum class EventTarget { Console, Notice };

class EventLog {
 public:
  // Runs on the main thread's event loop once the row is on disk (true) or
  // could not be written (false).
  using Done = std::function<void(bool stored)>;

  virtual ~EventLog() = default;

  // Main thread: queues the row for the next commit and returns its
  // key; done (if any) follows the commit, in sequence order.
  // A row without a sender to retry (keep = true) is held in memory while
  // writes fail and written once they succeed again.
  virtual RowKey Add(EventRow row, Done done, bool keep = false) = 0;

  // Main thread: queues rows that stand or fall together (the events of one
  // frame) for one commit, with consecutive sequence numbers, and returns
  // the first one's key; done follows that commit.
  virtual RowKey AddGroup(std::vector<EventRow> rows, Done done) = 0;

  // Worker threads: queues the row and waits for its commit, at most
  // timeoutMs and only while *cancel stays false. The row's key once
  // committed, else none.
  virtual RowKey AddAndWait(EventRow row, int timeoutMs, const std::atomic<bool>* cancel) = 0;

  // Records where a row's entry went; written with the next commit.
  virtual void SetFate(const RowKey& key, EventTarget target, EventFate fate) = 0;

  // False while writes fail (or the file could not be opened).
  virtual bool Writable() const = 0;
};

// The console account of an event line (positions 8 to 11) or of a
// supervision line (positions 11 to 14).
inline std::string EventAccount(std::string_view line) {
  const size_t at = line.find('@') != std::string_view::npos ? 10 : 7;
  return line.size() >= at + 4 ? std::string(line.substr(at, 4)) : std::string();
}

// Adds the rows through log as one group, or reports them stored at once
// (no key) when there is no log.
inline RowKey StoreEvents(EventLog* log, std::vector<EventRow> rows, EventLog::Done done) {
  if (log) return log->AddGroup(std::move(rows), std::move(done));
  if (done) done(true);
  return {};
}

// Adds the row through log, or reports it stored at once when there is no log.
inline RowKey StoreEvent(EventLog* log, EventRow row, EventLog::Done done, bool keep = false) {
  if (log) return log->Add(std::move(row), std::move(done), keep);
  if (done) done(true);
  return {};
}

}  // namespace quell
