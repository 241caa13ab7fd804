#include "ip/event_delivery.h"

#include "core/second_stamp.h"
#include "core/text.h"
#include "core/wire.h"

namespace quell {

void JournalIpMessage(Journal& journal, const Clock& clock, std::string_view m) {
  if (journal.Size() > kIpJournalLimit) journal.Clear();
  if (Contains(m, "SR")) return;
  // "/" between hours, minutes and seconds too: the journal's own stamp.
  thread_local SecondStamp stamp(QStringLiteral("dd/MM/yyyy hh/mm/ss"));
  journal.InsertTop(" " + stamp.Text(clock.Now()) + " : " + std::string(m));
}

void DeliverEventToConsole(ConsoleOutput& output, ConsoleDevice& device, TraceView& trace,
                           bool mayQueue, const std::string& e) {
  // Events still waiting for the console (kept while it was silent) go
  // first: a new event waits behind them, so the console gets them in the
  // order they were accepted.
  if (device.Alive() && !output.Queue().Empty()) {
    output.Append(e + kDC4);
    return;
  }
  if (device.Alive()) {
    // Write errors are traced and ignored by the console output.
    const std::string a = output.WriteEventDirect(e);
    if (!a.empty()) trace.Append("ademco  " + a);
    trace.Append("VP  " + e);
  } else if (mayQueue) {
    output.Append(e + kDC4);
  }
}

void ForwardDc09Event(ClientFeed& clients, ConsoleOutput& output, ConsoleDevice& device,
                      TraceView& trace, bool mayQueue, const std::string& r) {
  if (clients.WardexClientCount() > 0)
    clients.SendToFirstWardex(NoticeOrigin::IpEvent, "MLR;" + r + ";MLR_EVENT|");
  if (clients.Console2ClientCount() > 0) clients.SendToFirstConsole2(r);
  DeliverEventToConsole(output, device, trace, mayQueue, r.substr(0, r.size() - 1));
}

}  // namespace quell
