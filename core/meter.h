#pragma once
// What the receivers and the store tell the monitoring surface as it
// happens. A producer holds a Meter pointer that stays null unless
// "\Monitoring.ini" switched monitoring on, so its hot path pays one branch:
//   if (meter_) meter_->Reply(Road::Tcp, ReplyKind::Ack, arrived);
// Reply, Dc09Refused, Dc09Copy and AccessRefused come from the main thread;
// Committed, Pending, CommitFailed and Recent from the store's thread.
#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/event_log.h"

namespace quell {

// The roads an accepted event comes by, as EventRow::road names them.
enum class Road { Tcp, Dc09, Mlr, Vorti, Sms, Xcall, Key, Module };
inline constexpr int kRoadCount = 8;
inline constexpr std::string_view kRoadNames[kRoadCount] = {"tcp", "dc09",  "mlr", "vorti",
                                                            "sms", "xcall", "key", "module"};
// The road of an EventRow::road text; -1 for a name no road has.
inline int RoadIndex(std::string_view name) {
  for (int i = 0; i < kRoadCount; ++i)
    if (kRoadNames[i] == name) return i;
  return -1;
}

// The reply a sender was given.
enum class ReplyKind { Ack, Nack, Nak, Duh };
inline constexpr int kReplyKindCount = 4;
inline constexpr std::string_view kReplyKindNames[kReplyKindCount] = {"ACK", "NACK", "NAK", "DUH"};

// Why the standard DC-09 receiver refused a frame.
enum class Dc09Refusal { Crc, Account, Key, Time, Unreadable };
inline constexpr int kDc09RefusalCount = 5;
inline constexpr std::string_view kDc09RefusalNames[kDc09RefusalCount] = {"crc", "account", "key",
                                                                          "time", "unreadable"};

// Rows written whose console entry or client notice waits, from the store's
// own records of them; the oldest one's reception time (0: none waits).
struct PendingFigures {
  int64_t console = 0;
  int64_t client = 0;
  int64_t oldestConsoleMs = 0;  // UTC milliseconds since the epoch
  int64_t oldestClientMs = 0;
};

using SteadyTime = std::chrono::steady_clock::time_point;

class Meter {
 public:
  virtual ~Meter() = default;
  // A reply left for a sender whose message arrived at arrived.
  virtual void Reply(Road road, ReplyKind kind, SteadyTime arrived) = 0;
  virtual void Dc09Refused(Dc09Refusal reason) = 0;
  // A retransmitted DC-09 frame recognised as a copy of one already taken.
  virtual void Dc09Copy() = 0;
  // A peer refused by "\ClientAccess.ini" on the gateway's port port.
  virtual void AccessRefused(int port) = 0;

  // Store thread: a commit wrote rows (the accepted events) in seconds.
  virtual void Committed(const std::vector<EventRow>& rows, double seconds) = 0;
  // Store thread, after each commit and at start: what waits for delivery.
  virtual void Pending(const PendingFigures& pending) = 0;
  // Store thread: a commit failed (nothing of it was written).
  virtual void CommitFailed() = 0;
  // Store thread, once at start: the newest stored rows, newest first.
  virtual void Recent(const std::vector<EventRow>& newestFirst) = 0;
};

}  // namespace quell
