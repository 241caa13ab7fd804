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

bool StoreAndWait(TLineGSM& line, const LineContext& ctx, EventRow row, RowKey* key) {
  *key = {};
  if (!ctx.events) return true;
  const std::atomic<bool>* cancel = line.Worker ? &line.Worker->StopAsked : nullptr;
  const std::string raw = row.raw;
  *key = ctx.events->AddAndWait(std::move(row), kWorkerStoreWaitMs, cancel);
  if (*key) return true;
  if (ctx.trace) ctx.trace->Append(line.LineName + ": event not stored, not acknowledged: " + raw);
  return false;
}

RowKey StoreSenderless(const LineContext& ctx, EventRow row) {
  return ctx.events ? ctx.events->Add(std::move(row), nullptr, true) : RowKey{};
}

void QueueForRow(SharedTextList* queue, DeliveryLedger* ledger, const std::string& text,
                 const RowKey& key) {
  if (!queue) return;
  if (ledger) ledger->Track(text, key);
  queue->Append(text);
}

void QueueForRow(NoticeList* queue, DeliveryLedger* ledger, NoticeOrigin origin,
                 const std::string& text, const RowKey& key) {
  if (!queue) return;
  if (ledger) ledger->Track(text, key);
  queue->Append(origin, text);
}

}  // namespace quell
