#pragma once
// Events a line receives, kept in the event store: the row, the worker's
// bounded wait for its commit, and the queue entries that remember their row.
#include <string>

#include "core/event_log.h"
#include "lines/line.h"
#include "lines/line_context.h"

namespace quell {

// Longest wait of a worker for its commit; a sender that gets no ACK
// meanwhile sends the message again.
inline constexpr int kWorkerStoreWaitMs = 1000;

// The row of raw bytes received on the line (road "mlr", "vorti", "sms"...).
EventRow LineEventRow(const TLineGSM& line, const LineContext& ctx, const char* road,
                      const std::string& raw);

// Worker: stores the row and waits for its commit (at most
// kWorkerStoreWaitMs, less when the worker is suspended or terminated).
// True with key set once committed, or at once without a store (no key);
// false (traced) when the message is not to be acknowledged.
bool StoreAndWait(TLineGSM& line, const LineContext& ctx, EventRow row, RowKey* key);

// Stores a row without a sender to retry; held in memory while the store
// cannot write. Returns its key (none without a store).
RowKey StoreSenderless(const LineContext& ctx, EventRow row);

// Appends text to queue and remembers its row for the delivery record.
void QueueForRow(SharedTextList* queue, DeliveryLedger* ledger, const std::string& text,
                 const RowKey& key);
// The same for a notice, with its origin.
void QueueForRow(NoticeList* queue, DeliveryLedger* ledger, NoticeOrigin origin,
                 const std::string& text, const RowKey& key);

}  // namespace quell
