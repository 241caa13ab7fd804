// What the gateway tells systemd: ready, alive at half the watchdog
// interval from the event loop, stopping; through sd_notify only when the
// service manager gave a socket.
#include <gmock/gmock.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/service_notify.h"
#include "tests/support/notify_socket.h"

namespace quell {
namespace {

using ::testing::ElementsAre;

void RunEventLoop(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

TEST(ServiceNotifyTest, ReadyThenPingsAtHalfTheIntervalThenStopping) {
  std::vector<std::string> sent;
  ServiceNotify notify([&](const char* state) { sent.emplace_back(state); }, 200'000);
  EXPECT_EQ(notify.pingIntervalMs(), 0);  // nothing before the listeners are open
  notify.Ready();
  EXPECT_EQ(notify.pingIntervalMs(), 100);
  RunEventLoop(350);
  notify.Stopping();
  notify.Stopping();
  RunEventLoop(250);

  ASSERT_GE(sent.size(), 4u);
  EXPECT_EQ(sent.front(), "READY=1");
  EXPECT_EQ(sent.back(), "STOPPING=1");
  for (size_t i = 1; i + 1 < sent.size(); ++i) EXPECT_EQ(sent[i], "WATCHDOG=1");
  EXPECT_EQ(notify.pingIntervalMs(), 0);
}

TEST(ServiceNotifyTest, WithoutWatchdogNoPings) {
  std::vector<std::string> sent;
  ServiceNotify notify([&](const char* state) { sent.emplace_back(state); }, 0);
  notify.Ready();
  EXPECT_EQ(notify.pingIntervalMs(), 0);
  RunEventLoop(50);
  EXPECT_THAT(sent, ElementsAre("READY=1"));
}

// The real sd_notify reaches a datagram socket named in NOTIFY_SOCKET, as
// systemd's is; with WATCHDOG_USEC the pings follow.
TEST(ServiceNotifyTest, FromEnvironmentSendsToNotifySocket) {
  QTemporaryDir dir;
  const std::string path = dir.path().toStdString() + "/notify";
  const int fd = test::BindNotifySocket(path, SOCK_NONBLOCK);
  ASSERT_GE(fd, 0);

  ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
  ::setenv("WATCHDOG_USEC", "100000", 1);
  auto notify = ServiceNotify::FromEnvironment();
  notify->Ready();
  RunEventLoop(120);
  notify->Stopping();
  ::unsetenv("NOTIFY_SOCKET");
  ::unsetenv("WATCHDOG_USEC");

  std::vector<std::string> received;
  char buffer[256];
  ssize_t n = 0;
  while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) received.emplace_back(buffer, size_t(n));
  ::close(fd);
  ASSERT_GE(received.size(), 3u);
  EXPECT_EQ(received.front(), "READY=1");
  EXPECT_EQ(received[1], "WATCHDOG=1");
  EXPECT_EQ(received.back(), "STOPPING=1");
}

TEST(ServiceNotifyTest, WithoutNotifySocketNothingIsSentAndNoTimerRuns) {
  ::unsetenv("NOTIFY_SOCKET");
  ::unsetenv("WATCHDOG_USEC");
  auto notify = ServiceNotify::FromEnvironment();
  notify->Ready();
  EXPECT_EQ(notify->pingIntervalMs(), 0);
  notify->Stopping();
}

}  // namespace
}  // namespace quell
