#pragma once
// What the IP receivers (TCP and DC-09) do alike with a received message:
// its journal line, and the hand-over of an event line to the console.
#include <string>
#include <string_view>

#include "console/console_device.h"
#include "console/console_output.h"
#include "core/client_feed.h"
#include "core/clock.h"
#include "core/journal.h"
#include "core/trace_view.h"

namespace quell {

inline constexpr size_t kIpJournalLimit = 1000;

// Clears an over-full journal, then puts " dd/MM/yyyy hh/mm/ss : " + m on
// top, except for "SR" keep-alives.
void JournalIpMessage(Journal& journal, const Clock& clock, std::string_view m);

// Writes event line e (without terminator) to the console port while it
// answers and nothing waits in the console queue; queues e + DC4 behind
// what waits, or when the console is silent and mayQueue (store offline).
void DeliverEventToConsole(ConsoleOutput& output, ConsoleDevice& device, TraceView& trace,
                           bool mayQueue, const std::string& e);

// A DC-09 event line r (with its CR): "MLR;" + r + ";MLR_EVENT|" to the
// first Wardex client, r to the first second-console client, then to the
// console port or its queue as above.
void ForwardDc09Event(ClientFeed& clients, ConsoleOutput& output, ConsoleDevice& device,
                      TraceView& trace, bool mayQueue, const std::string& r);

}  // namespace quell
