#pragma once
// What an IP module sends the gateway over TCP and how it reads the reply.
#include <cstdint>
#include <string>
#include <string_view>

namespace quell::sim {

struct IpMessageFields {
  uint32_t account = 1234;  // event: 6 digits; keep-alive: 4 digits
  uint32_t receiver = 1;
  uint32_t line = 1;
  std::string event = "1130";  // Contact ID qualifier + event code
  uint32_t group = 1;
  uint32_t zone = 15;
};

// "ADM-CID"0001R0001L0001[#001234|1130 01 015]
std::string IpEventText(const IpMessageFields& fields, int sequence);
// SR0001L0001     #1234[]
std::string IpKeepAliveText(const IpMessageFields& fields);

inline constexpr size_t kIpGreetingSize = 24;

enum class IpReply { Incomplete, Ack, Nack, Other };

// An event expects exactly "ACK\r" ("NACK\r" is a NACK); a keep-alive "\r",
// or "ACK\r" where the gateway forwards keep-alives as events. A proper
// beginning of an expected reply is Incomplete.
IpReply ClassifyIpReply(std::string_view received, bool keepAlive);

}  // namespace quell::sim
