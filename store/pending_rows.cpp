#include "store/pending_rows.h"

namespace quell {

void PendingRows::Add(EventRow row) {
  if (!Waits(row) || rows_.count(row.seq)) return;
  Count(row, 1);
  const int64_t seq = row.seq;
  rows_.emplace(seq, std::move(row));
}

void PendingRows::Apply(const FateUpdate& f) {
  auto it = rows_.find(f.seq);
  if (it == rows_.end()) return;
  Count(it->second, -1);
  (f.target == EventTarget::Console ? it->second.console : it->second.notice) = f.fate;
  Count(it->second, 1);
  if (!Waits(it->second)) rows_.erase(it);
}

void PendingRows::Count(const EventRow& r, int sign) {
  if (r.console == EventFate::Pending) console_ += sign;
  if (r.notice == EventFate::Pending) client_ += sign;
}

PendingFigures PendingRows::Figures() const {
  PendingFigures figures;
  figures.console = console_;
  figures.client = client_;
  // In acceptance order: the first waiting row of each target is the
  // oldest, and usually the first row of all.
  for (const auto& [seq, row] : rows_) {
    if (!figures.oldestConsoleMs && row.console == EventFate::Pending)
      figures.oldestConsoleMs = row.receivedMs;
    if (!figures.oldestClientMs && row.notice == EventFate::Pending)
      figures.oldestClientMs = row.receivedMs;
    if ((figures.oldestConsoleMs || !figures.console) &&
        (figures.oldestClientMs || !figures.client))
      break;
  }
  return figures;
}

}  // namespace quell
