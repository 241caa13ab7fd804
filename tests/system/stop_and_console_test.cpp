// The built gateway stopped and started as a station does it: the trace
// written just before a SIGTERM is in the trace file, and a console whose
// device appears seconds after the start is opened and served.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/system/gateway_process.h"

namespace quell::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Every trace file of the working directory, one after the other.
std::string TraceText(const fs::path& workDir) {
  std::string all;
  for (const auto& entry : fs::directory_iterator(workDir / "Trace")) {
    std::ifstream in(entry.path(), std::ios::binary);
    all += std::string(std::istreambuf_iterator<char>(in), {});
  }
  return all;
}

// Waits until the gateway's output holds text; false at the deadline.
bool OutputShows(GatewayProcess& gateway, const std::string& text, Deadline deadline) {
  while (gateway.Output().find(text) == std::string::npos) {
    if (MsLeft(deadline) == 0 || !gateway.Running()) return false;
    ::poll(nullptr, 0, 100);
  }
  return true;
}

std::string Tail(const std::string& text) {
  return text.size() > 3000 ? "..." + text.substr(text.size() - 3000) : text;
}

// A burst of module events, each acknowledged, then SIGTERM at once: every
// event the gateway traced is in the trace file when the process has ended
// (about 40 lines, fewer than a flush's worth, which used to be lost).
TEST(StopSystemTest, TraceWrittenBeforeSigtermIsInTheFile) {
  constexpr int kPort = 8098;
  constexpr int kEvents = 12;
  ASSERT_FALSE(Listens(kPort, In(1s))) << "something else listens on " << kPort;
  GatewayProcess gateway;
  ASSERT_TRUE(gateway.Start());
  const Deadline up = In(30s);
  while (!Greets(kPort, 24, In(2s))) {
    ASSERT_TRUE(gateway.Running()) << Tail(gateway.Output());
    ASSERT_GT(MsLeft(up), 0) << Tail(gateway.Output());
    ::poll(nullptr, 0, 100);
  }
  const int fd = ConnectLoopback(kPort);
  ASSERT_GE(fd, 0);
  std::string received;
  auto readUntil = [&](size_t count) {
    const Deadline deadline = In(10s);
    while (received.size() < count) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, MsLeft(deadline)) <= 0) return false;
      char buffer[256];
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0 && errno != EAGAIN) return false;
      if (n > 0) received.append(buffer, size_t(n));
    }
    return true;
  };
  ASSERT_TRUE(readUntil(24));  // the greeting
  for (int i = 0; i < kEvents; ++i) {
    const std::string event =
        "\"ADM-CID\"0001R0001L0001[#001234|1130 01 " + std::to_string(100 + i) + "]";
    ASSERT_EQ(::send(fd, event.data(), event.size(), MSG_NOSIGNAL), ssize_t(event.size()));
    ASSERT_TRUE(readUntil(24 + 4 * size_t(i + 1))) << "no ACK for event " << i;
  }
  ::close(fd);
  std::string how;
  ASSERT_TRUE(gateway.Stop(In(20s), &how)) << how << "\n" << Tail(gateway.Output());

  const std::string trace = TraceText(gateway.workDir());
  for (int i = 0; i < kEvents; ++i) {
    const std::string zone = "|1130 01 " + std::to_string(100 + i) + "]";
    EXPECT_NE(trace.find(zone), std::string::npos) << "event " << i << " missing:\n" << trace;
  }
  EXPECT_NE(gateway.Output().find("Quell Server stopped"), std::string::npos)
      << Tail(gateway.Output());
}

// The console port switched on in "paramv" whose device is missing at the
// start: the summary and the journal say so with the reason; the device
// appears 7 s after the start and is opened by a retry within 5 s; the
// console's ACK is heard on it.
TEST(ConsoleRetrySystemTest, ConsoleAppearingSevenSecondsLateIsOpened) {
  GatewayProcess gateway;
  const fs::path link = gateway.workDir() / "late-console";
  WriteFile(gateway.workDir() / "ConnectionType.ini", "");
  WriteFile(gateway.workDir() / "ComPorts.ini", "COM5=" + link.string() + "\r\n");
  WriteFile(gateway.workDir() / "paramv", "_;RP;_;COM5,9600,8,0,0,0;ONLINE;ContactID;_;\r\n");
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(gateway.Start());
  const std::string device = "COM5 (" + link.string() + ")";
  ASSERT_TRUE(OutputShows(
      gateway, "console port: " + device + ": could not open (open: No such file or directory)",
      In(20s)))
      << Tail(gateway.Output());
  EXPECT_NE(gateway.Output().find("Quell Server ComPort: " + device +
                                  " does not open (open: No such file or directory), tried "
                                  "again every 5 s"),
            std::string::npos)
      << Tail(gateway.Output());

  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string slave = ::ptsname(master);
  std::this_thread::sleep_until(started + 7s);
  fs::create_symlink(slave, link);

  EXPECT_TRUE(OutputShows(gateway, "Quell Server ComPort: " + device + " opened", In(8s)))
      << Tail(gateway.Output());
  const char ack = 0x06;
  ASSERT_EQ(::write(master, &ack, 1), 1);
  EXPECT_TRUE(OutputShows(gateway, "Quell Server ComPort: Alive", In(10s)))
      << Tail(gateway.Output());
  std::string how;
  EXPECT_TRUE(gateway.Stop(In(20s), &how)) << how;
  ::close(master);
}

}  // namespace
}  // namespace quell::test
