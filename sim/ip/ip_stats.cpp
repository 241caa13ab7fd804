#include "sim/ip/ip_stats.h"

#include <cstdio>

namespace quell::sim {
namespace {

const char* OutcomeText(IpOutcome outcome) {
  switch (outcome) {
    case IpOutcome::Ack:
      return "ACK";
    case IpOutcome::Nack:
      return "NACK";
    case IpOutcome::Other:
      return "other reply";
    case IpOutcome::Timeout:
      return "timeout";
    case IpOutcome::Refused:
      return "refused";
    case IpOutcome::Dropped:
      return "closed by the gateway";
  }
  return "?";
}

bool Replied(IpOutcome outcome) {
  return outcome == IpOutcome::Ack || outcome == IpOutcome::Nack || outcome == IpOutcome::Other;
}

}  // namespace

std::string IpResultLine(const IpResult& r) {
  char text[96];
  int n = std::snprintf(text, sizeof text, "account %u #%04d %s", unsigned(r.account), r.sequence,
                        OutcomeText(r.outcome));
  if (Replied(r.outcome)) std::snprintf(text + n, sizeof text - size_t(n), " %.1f ms", r.latencyMs);
  return text;
}

void IpStats::Greeted(double ms) {
  ++counts_.greeted;
  greeting_.Add(ms);
}

void IpStats::Record(const IpResult& result) {
  uint64_t* counters[] = {&counts_.ack,      &counts_.nack,    &counts_.other,
                          &counts_.timeouts, &counts_.refused, &counts_.dropped};
  ++*counters[int(result.outcome)];
  if (Replied(result.outcome)) reply_.Add(result.latencyMs);
  if (onResult_) onResult_(result);
}

uint64_t IpStats::Messages() const {
  const IpCounts& c = counts_;
  return c.ack + c.nack + c.other + c.timeouts + c.refused + c.dropped;
}

std::string IpStats::Summary() const {
  const IpCounts& c = counts_;
  char text[320];
  std::snprintf(text, sizeof text,
                "messages %llu: ACK %llu, NACK %llu, other %llu, timeouts %llu, refused %llu, "
                "closed by the gateway %llu; connected %llu, greeted %llu\n",
                (unsigned long long)Messages(), (unsigned long long)c.ack,
                (unsigned long long)c.nack, (unsigned long long)c.other,
                (unsigned long long)c.timeouts, (unsigned long long)c.refused,
                (unsigned long long)c.dropped, (unsigned long long)c.connected,
                (unsigned long long)c.greeted);
  return text +
         ("connect to greeting: " + greeting_.Summary() + "\nsend to reply: " + reply_.Summary());
}

}  // namespace quell::sim
