#pragma once
// What a line's step functions reach besides the line itself. Everything
// here is safe to use from a worker thread.
#include <atomic>
#include <string>
#include <vector>

#include "core/alarm_sound.h"
#include "core/client_feed.h"
#include "core/clock.h"
#include "core/delivery_ledger.h"
#include "core/event_log.h"
#include "core/shared_list.h"
#include "core/trace_view.h"

namespace quell {

class TLineGSM;

struct LineContext {
  Clock* clock = nullptr;
  SharedTextList* consoleQueue = nullptr;  // console output queue
  SharedTextList* journalQueue = nullptr;  // texts put at its head
  TraceView* trace = nullptr;
  ClientFeed* clients = nullptr;                     // counts must be thread-safe
  std::atomic<bool>* consoleAcknowledged = nullptr;  // set on the console's ACK
  AlarmSound* sound = nullptr;                       // Play() must be thread-safe
  const std::vector<std::string>* panels = nullptr;  // "\info.slv", read-only once lines run
  EventLog* events = nullptr;                        // the event store, if any
  DeliveryLedger* consoleLedger = nullptr;           // rows of console-queue entries
  DeliveryLedger* noticeLedger = nullptr;            // rows of NoticeQueue entries
};

}  // namespace quell
