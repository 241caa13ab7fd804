#include "lines/stored_event.h"

#include "lines/worker.h"

namespace quell {

EventRow LineEventRow(const TLineGSM& line, const LineContext& ctx, const char* road,
                      const std::string& raw) {
  EventRow row;
  row.receivedMs = ctx.clock ? ctx.clock->Now().toMSecsSinceEpoch() : 0;
  row.road = road;
  row.line = line.LineName;
  row.raw = raw;
  return row;
}

bool StoreAndWait(TLineGSM& line, const LineContext& ctx, EventRow row, int64_t* seq) {
  *seq = 0;
  if (!ctx.events) return true;
  const std::atomic<bool>* cancel = line.Worker ? &line.Worker->StopAsked : nullptr;
  const std::string raw = row.raw;
  *seq = ctx.events->AddAndWait(std::move(row), kWorkerStoreWaitMs, cancel);
  if (*seq > 0) return true;
  if (ctx.trace) ctx.trace->Append(line.LineName + ": event not stored, not acknowledged: " + raw);
  return false;
}

int64_t StoreSenderless(const LineContext& ctx, EventRow row) {
  return ctx.events ? ctx.events->Add(std::move(row), nullptr, true) : 0;
}

void QueueForRow(SharedTextList* queue, DeliveryLedger* ledger, const std::string& text,
                 int64_t seq) {
  if (!queue) return;
  if (ledger) ledger->Track(text, seq);
  queue->Append(text);
}

void QueueForRow(NoticeList* queue, DeliveryLedger* ledger, NoticeOrigin origin,
                 const std::string& text, int64_t seq) {
  if (!queue) return;
  if (ledger) ledger->Track(text, seq);
  queue->Append(origin, text);
}

}  // namespace quell
