// The built gateway under a thousand IP modules connecting at the same
// moment, as when a station's network comes back after an outage: every
// module must get its greeting and have its event acknowledged.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ip/listen_backlog.h"
#include "tests/system/gateway_process.h"

namespace quell::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kPort = 8098;
constexpr size_t kModules = 1000;
const std::string kGreeting(24, '\0');  // 8098 sends no time
const std::string kEvent = "\"ADM-CID\"0001R0001L0001[#001234|1130 01 015]";
const std::string kAck = "ACK\r";

struct Module {
  int fd = -1;
  std::string received;
  bool broken = false;  // refused, reset or closed
};

// Reads from every module short of count bytes until none is, or the
// deadline passes.
void ReadUntil(std::vector<Module>& modules, size_t count, Deadline deadline) {
  for (;;) {
    std::vector<pollfd> polls;
    std::vector<Module*> owners;
    for (Module& m : modules) {
      if (m.broken || m.received.size() >= count) continue;
      polls.push_back({m.fd, POLLIN, 0});
      owners.push_back(&m);
    }
    if (polls.empty() || ::poll(polls.data(), polls.size(), MsLeft(deadline)) <= 0) return;
    for (size_t i = 0; i < polls.size(); ++i) {
      if (!polls[i].revents) continue;
      char buffer[256];
      const ssize_t n = ::recv(polls[i].fd, buffer, sizeof buffer, 0);
      if (n > 0)
        owners[i]->received.append(buffer, size_t(n));
      else if (n == 0 || errno != EAGAIN)
        owners[i]->broken = true;
    }
  }
}

size_t CountReceived(const std::vector<Module>& modules, const std::string& expected) {
  return size_t(std::count_if(modules.begin(), modules.end(),
                              [&](const Module& m) { return m.received == expected; }));
}

std::string Tail(const std::string& text) {
  return text.size() > 3000 ? "..." + text.substr(text.size() - 3000) : text;
}

class IpBurstTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RaiseOpenFileLimit();
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < kModules + 100) GTEST_SKIP() << "too few descriptors allowed";
    ASSERT_FALSE(Listens(kPort, In(1s))) << "something else listens on " << kPort;
    ASSERT_TRUE(gateway_.Start());
    // A greeting shows that the gateway's message loop runs.
    const Deadline deadline = In(30s);
    while (!Greets(kPort, kGreeting.size(), In(2s))) {
      ASSERT_TRUE(gateway_.Running()) << Tail(gateway_.Output());
      ASSERT_GT(MsLeft(deadline), 0) << "no greeting on " << kPort << "\n"
                                     << Tail(gateway_.Output());
      ::poll(nullptr, 0, 100);
    }
  }
  void TearDown() override { CloseModules(); }

  void CloseModules() {
    for (Module& m : modules_)
      if (m.fd >= 0) ::close(m.fd);
    modules_.clear();
  }

  GatewayProcess gateway_;
  std::vector<Module> modules_;
};

TEST_F(IpBurstTest, ThousandModulesConnectingAtOnceAreAllGreetedAndAcknowledged) {
  const Clock::time_point start = Clock::now();
  modules_.resize(kModules);
  for (Module& m : modules_) {
    m.fd = ConnectLoopback(kPort);
    m.broken = m.fd < 0;
  }
  ReadUntil(modules_, kGreeting.size(), In(20s));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const size_t greeted = CountReceived(modules_, kGreeting);
  std::printf("%zu of %zu modules greeted after %.2f s\n", greeted, kModules, seconds);
  ASSERT_EQ(greeted, kModules) << Tail(gateway_.Output());

  for (Module& m : modules_)
    ASSERT_EQ(::send(m.fd, kEvent.data(), kEvent.size(), MSG_NOSIGNAL), ssize_t(kEvent.size()));
  ReadUntil(modules_, kGreeting.size() + kAck.size(), In(20s));
  EXPECT_EQ(CountReceived(modules_, kGreeting + kAck), kModules) << Tail(gateway_.Output());

  CloseModules();
  std::string how;
  EXPECT_TRUE(gateway_.Stop(In(20s), &how)) << how << "\n" << Tail(gateway_.Output());
}

}  // namespace
}  // namespace quell::test
