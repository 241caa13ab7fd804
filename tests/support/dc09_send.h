#pragma once
// Sends DC-09 messages with the simulator to a gateway on loopback and
// waits until each is settled (for tests of executables that link quell_sim).
#include <QHostAddress>
#include <string>

#include "sim/dc09/dc09_link.h"
#include "tests/support/loopback.h"

namespace quell::test {

// The number of ACKs for count messages sent with a window of count.
inline uint64_t SendDc09(sim::Dc09Message m, quint16 port, uint32_t count = 1, bool tcp = false) {
  sim::Dc09Sender sender(std::move(m), false, 3000);
  sim::Dc09Link link(sender, QHostAddress::LocalHost, port, count, 0, count, tcp);
  bool done = false;
  link.SetDoneHandler([&] { done = true; });
  std::string error;
  EXPECT_TRUE(link.Start(&error)) << error;
  EXPECT_TRUE(WaitFor([&] { return done; }));
  return sender.Counts().ack;
}

}  // namespace quell::test
