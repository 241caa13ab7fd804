// The built gateway started as systemd starts the unit (Type=notify,
// WatchdogSec=): READY=1 once its ports listen, WATCHDOG=1 from the event
// loop, STOPPING=1 on SIGTERM, on a notify socket of the test's own.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <string>

#include "tests/support/notify_socket.h"
#include "tests/system/gateway_process.h"

namespace quell::test {
namespace {

using namespace std::chrono_literals;

// The next datagram before the deadline, or "".
std::string Receive(int fd, Deadline deadline) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, MsLeft(deadline)) != 1) return {};
  char buffer[256];
  const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
  return n > 0 ? std::string(buffer, size_t(n)) : std::string();
}

TEST(ServiceNotifySystemTest, ReadyWhenListeningThenWatchdogThenStopping) {
  GatewayProcess gateway;
  const std::string path = (gateway.workDir() / "notify").string();
  const int fd = test::BindNotifySocket(path);
  ASSERT_GE(fd, 0);

  // The child takes the environment as it is at Start.
  ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
  ::setenv("WATCHDOG_USEC", "1000000", 1);  // pings every 0.5 s
  const bool started = gateway.Start();
  ::unsetenv("NOTIFY_SOCKET");
  ::unsetenv("WATCHDOG_USEC");
  ASSERT_TRUE(started);

  EXPECT_EQ(Receive(fd, In(30s)), "READY=1") << gateway.Output();
  EXPECT_TRUE(Listens(8040, In(1s)));
  EXPECT_TRUE(Listens(8095, In(1s)));
  EXPECT_EQ(Receive(fd, In(5s)), "WATCHDOG=1");
  EXPECT_EQ(Receive(fd, In(5s)), "WATCHDOG=1");

  std::string how;
  EXPECT_TRUE(gateway.Stop(In(20s), &how)) << how << "\n" << gateway.Output();
  std::string last;
  for (std::string got; !(got = Receive(fd, In(1s))).empty();) last = got;
  EXPECT_EQ(last, "STOPPING=1");
  ::close(fd);
}

}  // namespace
}  // namespace quell::test
