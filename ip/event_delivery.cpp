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
                           bool mayQueue, const std::string& e, const RowKey& key) {
  const std::string entry = e + kDC4;
  // Events kept while the console was silent go to the port first: a new
  // event waits behind them. While they drain to a second console client
  // instead, the new event (which that client already has) goes to the port.
  if (device.Alive() && !output.Queue().Empty() && !output.QueueDrainsToConsole2()) {
    output.AppendEvent(entry, key);
    return;
  }
  if (device.Alive()) {
    // Write errors are traced by the console output.
    bool delivered = false;
    const std::string a = output.WriteEventDirect(e, &delivered);
    if (!a.empty()) trace.Append("ademco  " + a);
    trace.Append("VP  " + e);
    if (delivered) {
      if (output.Log() && key)
        output.Log()->SetFate(key, EventTarget::Console, EventFate::Delivered);
    } else if (key) {
      output.AppendEvent(entry, key);  // a stored event is not lost to a failed write
    }
  } else if (mayQueue) {
    output.AppendEvent(entry, key);
  } else if (output.Log() && key) {
    output.Log()->SetFate(key, EventTarget::Console, EventFate::Dropped);
  }
}

void ForwardDc09Event(ClientFeed& clients, ConsoleOutput& output, ConsoleDevice& device,
                      TraceView& trace, bool mayQueue, const std::string& r, const RowKey& key,
                      EventLog* log) {
  const bool sent = clients.WardexClientCount() > 0 &&
                    clients.SendToFirstWardex(NoticeOrigin::IpEvent, "MLR;" + r + ";MLR_EVENT|");
  RecordClientCopy(log, key, sent);
  if (clients.Console2ClientCount() > 0) clients.SendToFirstConsole2(r);
  DeliverEventToConsole(output, device, trace, mayQueue, r.substr(0, r.size() - 1), key);
}

void RecordClientCopy(EventLog* log, const RowKey& key, bool sent) {
  if (log && key)
    log->SetFate(key, EventTarget::Notice, sent ? EventFate::Delivered : EventFate::Dropped);
}

EventRow IpEventRow(const Clock& clock, const char* road, const std::string& line,
                    const std::string& peer, const std::string& raw, const std::string& r) {
  EventRow row;
  row.receivedMs = clock.Now().toMSecsSinceEpoch();
  row.road = road;
  row.line = line;
  row.peer = peer;
  row.account = EventAccount(r);
  row.raw = raw;
  row.consoleText = r.substr(0, r.size() - 1) + kDC4;
  row.console = EventFate::Pending;
  return row;
}

}  // namespace quell
