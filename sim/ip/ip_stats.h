#pragma once
// What the IP modules saw: one result per message, the counts and the
// greeting and reply times.
#include <cstdint>
#include <functional>
#include <string>

#include "sim/latency_stats.h"

namespace quell::sim {

enum class IpOutcome { Ack, Nack, Other, Timeout, Refused, Dropped };

struct IpResult {
  uint32_t account = 0;
  int sequence = 0;
  IpOutcome outcome = IpOutcome::Other;
  double latencyMs = 0;  // send to reply; 0 when there was no reply
};

// "account 1234 #0001 ACK 0.3 ms", "account 1235 #0001 refused".
std::string IpResultLine(const IpResult& result);

struct IpCounts {
  uint64_t connected = 0, greeted = 0;
  uint64_t ack = 0, nack = 0, other = 0, timeouts = 0, refused = 0;
  uint64_t dropped = 0;  // closed by the gateway before its greeting or reply
};

class IpStats {
 public:
  void SetResultHandler(std::function<void(const IpResult&)> handler) {
    onResult_ = std::move(handler);
  }

  void Connected() { ++counts_.connected; }
  void Greeted(double ms);
  void Record(const IpResult& result);

  const IpCounts& Counts() const { return counts_; }
  uint64_t Messages() const;  // messages settled, whatever the outcome
  const LatencyStats& GreetingTimes() const { return greeting_; }
  const LatencyStats& ReplyTimes() const { return reply_; }
  // Three lines: counts, greeting times, reply times.
  std::string Summary() const;

 private:
  IpCounts counts_;
  LatencyStats greeting_, reply_;
  std::function<void(const IpResult&)> onResult_;
};

}  // namespace quell::sim
