#include "sim/ip/ip_args.h"

#include "sim/role_options.h"

namespace quell::sim {

std::optional<IpArgs> ParseIpArgs(const QStringList& args, std::string* error) {
  RoleOptions o({"modules", "messages", "account-base", "timeout", "rate"}, {"keepalive", "quiet"});
  if (!o.Parse(args, error)) return std::nullopt;
  IpArgs out;
  if (o.Help()) {
    out.help = true;
    return out;
  }
  if (!ReadTarget(o, out.target, error)) return std::nullopt;
  out.keepAlive = o.IsSet("keepalive");
  out.quiet = o.IsSet("quiet");
  if (!o.Number("modules", 1, 100'000, &out.modules, error) ||
      !o.Number("messages", 1, 1'000'000, &out.messages, error) ||
      !o.Number("account-base", 0, 999'999, &out.accountBase, error) ||
      !o.Number("timeout", 1, 600'000, &out.timeoutMs, error) ||
      !o.Number("rate", 1, 1'000'000, &out.rate, error))
    return std::nullopt;
  // Accounts are 4 digits in a keep-alive, 6 in an event.
  const uint64_t lastAccount = uint64_t(out.accountBase) + out.modules - 1;
  const uint64_t maxAccount = out.keepAlive ? 9'999 : 999'999;
  if (lastAccount > maxAccount) {
    *error = "--account-base " + std::to_string(out.accountBase) + " with " +
             std::to_string(out.modules) + " modules goes past account " +
             std::to_string(maxAccount);
    return std::nullopt;
  }
  return out;
}

const char* IpHelp() {
  return R"(Usage: quell-sim ip [HOST:]PORT [options]

Plays IP modules (communicators) that report to the gateway over TCP.
Each module connects, takes the gateway's 24-byte greeting, sends a message
and reads the reply. Default target 127.0.0.1:8097.

Messages:
  event (default)  "ADM-CID"0001R0001L0001[#001234|1130 01 015]
                   answered by "ACK\r" ("NACK\r" when rejected); the next
                   message goes on the same connection
  keep-alive       SR0001L0001     #1234[]
                   answered by "\r" (or "ACK\r" on a port that forwards
                   keep-alives as events); the gateway then closes, so the
                   next message connects anew

Options:
  --modules N        modules connected at once (default 1); the limit on
                     open files is raised as far as the system allows
                     e.g. --modules 1000
  --messages M       messages per module, each once the previous one was
                     answered (default 1)
                     e.g. --messages 10
  --account-base A   module i (from 0) uses account A+i (default 1234)
                     e.g. --account-base 2000
  --rate R           messages a second from all modules together, spread
                     evenly; a module still waits for each reply (default:
                     each message as soon as the last one was answered)
                     e.g. --modules 10 --messages 2000 --rate 2000
  --keepalive        send keep-alives instead of events
                     e.g. --keepalive --messages 3
  --timeout MS       how long connecting, the greeting and each reply may
                     take (default 5000)
                     e.g. --timeout 1000
  --quiet            no line per message, only the summary
  -h, --help         this text

One line per message ("account 1234 #0001 ACK 0.3 ms"), then the counts
(connected, greeted, ACK, NACK, other replies, timeouts, refused, closed by
the gateway) and the times from connecting to the greeting and from
sending to the reply (p50, p90, p99, p99.9, max), and the messages a second
from the first connection to the last result. Exit status 0 when every
message was acknowledged, 1 otherwise, 2 for bad options. Ctrl-C stops early with
the summary.

Example:
  quell-sim ip 127.0.0.1:8097 --modules 1000 --messages 5 --quiet
      a thousand modules at once, five events each
)";
}

}  // namespace quell::sim
