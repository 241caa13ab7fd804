#include "store/pending_rows.h"

namespace quell {

void PendingRows::Add(EventRow row) {
  if (!Waits(row) || !at_.emplace(row.Key(), added_).second) return;
  Count(row, 1);
  rows_.emplace(added_++, std::move(row));
}

void PendingRows::Apply(const FateUpdate& f) {
  const auto at = at_.find(f.key);
  if (at == at_.end()) return;
  auto it = rows_.find(at->second);
  Count(it->second, -1);
  (f.target == EventTarget::Console ? it->second.console : it->second.notice) = f.fate;
  Count(it->second, 1);
  if (Waits(it->second)) return;
  rows_.erase(it);
  at_.erase(at);
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
  for (const auto& [order, row] : rows_) {
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
