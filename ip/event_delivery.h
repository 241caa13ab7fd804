#pragma once
// What the IP receivers (TCP and DC-09) do alike with a received message:
// its journal line, and the hand-over of an event line to the console.
#include <string>
#include <string_view>

#include "console/console_device.h"
#include "console/console_output.h"
#include "core/client_feed.h"
#include "core/clock.h"
#include "core/event_log.h"
#include "core/journal.h"
#include "core/trace_view.h"

namespace quell {

inline constexpr size_t kIpJournalLimit = 1000;

// Clears an over-full journal, then puts " dd/MM/yyyy hh/mm/ss : " + m on
// top, except for "SR" keep-alives.
void JournalIpMessage(Journal& journal, const Clock& clock, std::string_view m);

// Writes event line e (without terminator) to the console port while it
// answers; queues e + DC4 behind entries waiting for the port (while no
// second console client takes them), or when the console is silent and
// mayQueue (store offline). A write the port does not take whole is queued
// too. Records the outcome for the stored event key (none: not stored).
void DeliverEventToConsole(ConsoleOutput& output, ConsoleDevice& device, TraceView& trace,
                           bool mayQueue, const std::string& e, const RowKey& key = {});

// The store's row for a message from an IP module: peer and road as given,
// its event line r (CR-terminated) with the console entry it makes.
EventRow IpEventRow(const Clock& clock, const char* road, const std::string& line,
                    const std::string& peer, const std::string& raw, const std::string& r);

// A DC-09 event line r (with its CR): "MLR;" + r + ";MLR_EVENT|" to the
// first Wardex client, r to the first second-console client, then to the
// console port or its queue as above, recorded for the stored event key.
void ForwardDc09Event(ClientFeed& clients, ConsoleOutput& output, ConsoleDevice& device,
                      TraceView& trace, bool mayQueue, const std::string& r, const RowKey& key = {},
                      EventLog* log = nullptr);

// The history's record of an IP event's client copy, sent at once or never
// (IP events are not kept for the client): delivered when it went to the
// first Wardex client, dropped when none was connected. Nothing without a
// log or a row.
void RecordClientCopy(EventLog* log, const RowKey& key, bool sent);

}  // namespace quell
