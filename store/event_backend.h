#pragma once
// What the gateway needs of an event store beyond EventLog: why writes fail,
// and rows still pending from earlier runs that the store finds only once
// it first reaches its storage.
#include <functional>
#include <string>
#include <vector>

#include "core/event_log.h"

namespace quell {

class EventBackend : public EventLog {
 public:
  // Runs on the main thread's event loop with rows still pending from an
  // earlier run, found once the storage first opens after the start; they
  // go ahead of what was queued meanwhile.
  using LatePending = std::function<void(std::vector<EventRow> rows)>;

  // The reason of the last failed write (empty while writes succeed).
  virtual std::string LastError() const = 0;
  // What the store did to its storage that the journal should tell (a
  // damaged file set aside, an old file brought up to date), since the
  // last call.
  virtual std::vector<std::string> TakeNotes() { return {}; }
};

}  // namespace quell
