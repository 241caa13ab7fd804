#include "sim/ip/ip_messages.h"

#include <cstdio>

namespace quell::sim {

std::string IpEventText(const IpMessageFields& f, int sequence) {
  char text[96];
  std::snprintf(text, sizeof text, "\"ADM-CID\"%04dR%04uL%04u[#%06u|%s %02u %03u]", sequence,
                unsigned(f.receiver), unsigned(f.line), unsigned(f.account), f.event.c_str(),
                unsigned(f.group), unsigned(f.zone));
  return text;
}

std::string IpKeepAliveText(const IpMessageFields& f) {
  char text[64];
  std::snprintf(text, sizeof text, "SR%04uL%04u     #%04u[]", unsigned(f.receiver),
                unsigned(f.line), unsigned(f.account));
  return text;
}

IpReply ClassifyIpReply(std::string_view received, bool keepAlive) {
  constexpr std::string_view kAck = "ACK\r", kNack = "NACK\r", kKeepAliveAck = "\r";
  if (keepAlive && received == kKeepAliveAck) return IpReply::Ack;
  if (received == kAck) return IpReply::Ack;
  if (received == kNack) return IpReply::Nack;
  if (kAck.starts_with(received) || kNack.starts_with(received)) return IpReply::Incomplete;
  return IpReply::Other;
}

}  // namespace quell::sim
