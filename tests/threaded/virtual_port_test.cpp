#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <filesystem>

#include "console/virtual_port.h"

namespace quell {
namespace {

int OpenRaw(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd >= 0) {
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
  }
  return fd;
}

// Reads until count bytes arrived or two seconds passed.
std::string ReadSome(int fd, size_t count) {
  std::string out;
  char buffer[64];
  while (out.size() < count) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 2000) <= 0) break;
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    out.append(buffer, size_t(n));
  }
  return out;
}

TEST(VirtualPort, CarriesBytesBothWaysAndRemovesItsLink) {
  QTemporaryDir dir;
  VirtualPort port(dir.path().toStdString());
  ASSERT_TRUE(port.Initialize());
  ASSERT_TRUE(port.DestroyAllDevices());
  ASSERT_TRUE(port.StopEmulation());
  ASSERT_EQ(port.CreateDevice("Connector", "5;0"), 5);
  ASSERT_TRUE(port.StartEmulation());
  const std::string link = dir.path().toStdString() + "/vcom/COM5";
  ASSERT_TRUE(std::filesystem::is_symlink(link));

  int console = OpenRaw(link);
  int gateway = OpenRaw(port.GatewayEnd());
  ASSERT_GE(console, 0);
  ASSERT_GE(gateway, 0);
  const std::string heartbeat = "1011           @    \x14";
  ASSERT_EQ(::write(gateway, heartbeat.data(), heartbeat.size()), ssize_t(heartbeat.size()));
  EXPECT_EQ(ReadSome(console, heartbeat.size()), heartbeat);
  ASSERT_EQ(::write(console, "\x06", 1), 1);
  EXPECT_EQ(ReadSome(gateway, 1), "\x06");
  ::close(console);
  ::close(gateway);

  ASSERT_TRUE(port.StopEmulation());
  port.Release();
  EXPECT_FALSE(std::filesystem::exists(link));
  EXPECT_EQ(port.PortNumber(), -1);
}

TEST(VirtualPort, RejectsUnknownTypeAndBadNumber) {
  QTemporaryDir dir;
  VirtualPort port(dir.path().toStdString());
  EXPECT_EQ(port.CreateDevice("Splitter", "5;0"), -1);
  EXPECT_EQ(port.CreateDevice("Connector", "x;0"), -1);
  EXPECT_EQ(port.CreateDevice("Connector", "0;0"), -1);
  EXPECT_FALSE(port.StartEmulation());
}

}  // namespace
}  // namespace quell
