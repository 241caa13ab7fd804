#pragma once
// One row of a history as its readers list it, and its place in the shared
// order (received time, node, run, seq). Rows of an events file have no
// node and run 0: there the order is the sequence number's.
#include <cstdint>
#include <string>

#include "core/event_log.h"

namespace quell {

struct HistoryRow {
  std::string node;  // the gateway that stored it (a shared history)
  int64_t run = 0;
  EventRow row;
};

struct HistoryKey {
  int64_t receivedMs = 0;
  std::string node;
  int64_t run = 0;
  int64_t seq = 0;
};

inline HistoryKey KeyOf(const HistoryRow& h) {
  return {h.row.receivedMs, h.node, h.run, h.row.seq};
}

}  // namespace quell
