#pragma once
// The written rows that still wait for a delivery, in acceptance order, with
// the count waiting for each target: what a store keeps in memory for the
// pending figures of the metrics (no database read) and for a new file.
// Rows are found by their key; their order is the order they were added in,
// which each store keeps to acceptance order.
#include <cstdint>
#include <map>
#include <unordered_map>

#include "core/event_log.h"
#include "core/meter.h"
#include "store/event_db.h"

namespace quell {

class PendingRows {
 public:
  static bool Waits(const EventRow& r) {
    return r.console == EventFate::Pending || r.notice == EventFate::Pending;
  }

  // A row with something pending is kept; one already kept under its key
  // stays as it is.
  void Add(EventRow row);
  // A fate for a kept row; a row with nothing pending any more goes.
  void Apply(const FateUpdate& f);
  // The counts, and the oldest waiting row of each target.
  PendingFigures Figures() const;

  bool Empty() const { return rows_.empty(); }
  // The number of the first row added that still waits (0: none).
  int64_t FirstSeq() const { return rows_.empty() ? 0 : rows_.begin()->second.seq; }
  // The number of the last row added (0: none).
  int64_t LastSeq() const { return rows_.empty() ? 0 : rows_.rbegin()->second.seq; }
  // In the order added.
  const std::map<uint64_t, EventRow>& Rows() const { return rows_; }

 private:
  void Count(const EventRow& r, int sign);

  std::map<uint64_t, EventRow> rows_;                    // by the order added
  std::unordered_map<RowKey, uint64_t, RowKeyHash> at_;  // where each key is in rows_
  uint64_t added_ = 0;
  int64_t console_ = 0;  // rows whose console entry waits
  int64_t client_ = 0;   // rows whose notice waits
};

}  // namespace quell
