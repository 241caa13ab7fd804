#pragma once
// What a line's step functions reach besides the line itself. Everything
// here is safe to use from a worker thread.
#include <atomic>

#include "core/client_feed.h"
#include "core/clock.h"
#include "core/shared_list.h"
#include "core/trace_view.h"

namespace quell {

struct LineContext {
  Clock* clock = nullptr;
  SharedTextList* consoleQueue = nullptr;  // console output queue
  SharedTextList* journalQueue = nullptr;  // texts put at its head
  TraceView* trace = nullptr;
  ClientFeed* clients = nullptr;                     // counts must be thread-safe
  std::atomic<bool>* consoleAcknowledged = nullptr;  // set on the console's ACK
};

}  // namespace quell
