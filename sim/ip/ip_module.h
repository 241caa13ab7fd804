#pragma once
// One IP module's conversation with the gateway, as pure logic: connect,
// take the 24-byte greeting, send a message, read its reply; then the next
// message on the same connection (events) or on a new one (after a
// keep-alive, whose reply the gateway follows by closing, or after anything
// unexpected). Every message ends in exactly one result: a reply, a
// timeout, a refused connection or a connection the gateway dropped.
// The transport applies the returned actions; times come in as arguments.
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/ip/ip_messages.h"
#include "sim/ip/ip_stats.h"

namespace quell::sim {

struct IpModuleConfig {
  IpMessageFields fields;
  bool keepAlive = false;
  uint32_t messages = 1;
  uint32_t timeoutMs = 5000;  // for connecting, the greeting and each reply
  // Paced: message k (from 0) is sent no sooner than offsetUs + k * periodUs
  // after Start, and not before the previous one was settled. 0: at once.
  int64_t periodUs = 0;
  int64_t offsetUs = 0;
};

class IpModule {
 public:
  enum class Phase { Idle, Connecting, Greeting, Pacing, Replying, Done };

  struct Action {
    enum class Kind { None, Connect, Send, Finish } kind = Kind::None;
    std::string bytes;  // for Send
  };
  // Connect: drop any connection and open a new one. Finish: drop it; done.

  IpModule(IpModuleConfig config, IpStats& stats);

  Action Start(int64_t nowUs);
  Action Connected(int64_t nowUs);
  Action Received(std::string_view bytes, int64_t nowUs);
  // The connection failed to open, or closed, or broke.
  Action ConnectionLost(int64_t nowUs);
  // Ends whatever waited timeoutMs or longer; sends a paced message when due.
  Action Tick(int64_t nowUs);

  Phase CurrentPhase() const { return phase_; }
  bool Done() const { return phase_ == Phase::Done; }

 private:
  // The next message now, or once it is due when paced.
  Action NextMessage(int64_t nowUs);
  Action SendMessage(int64_t nowUs);
  // Settles the current message; then the next one, or done.
  Action Settle(IpOutcome outcome, int64_t nowUs, bool keepConnection);
  Action Connect(int64_t nowUs);

  const IpModuleConfig config_;
  IpStats& stats_;
  Phase phase_ = Phase::Idle;
  int64_t since_ = 0;  // when the current phase began
  int64_t startUs_ = 0;
  std::string received_;
  uint32_t settled_ = 0;
};

}  // namespace quell::sim
