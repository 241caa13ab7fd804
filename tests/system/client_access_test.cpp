// The built gateway as an outsider meets it: with "ClientAccess.ini"
// listing 127.0.0.1 only, a peer at 127.0.0.2 is closed out of every client
// and module port and gets not one byte; the listed peer gets the event
// forms the gateway sends, checked by the wire form checker.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <fstream>
#include <string>

#include "core/wire_forms.h"
#include "tests/system/gateway_process.h"

namespace quell::test {
namespace {

using namespace std::chrono_literals;

// A blocking TCP connection to 127.0.0.1:port from source, or -1.
int ConnectFrom(const char* source, int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in from{}, to{};
  from.sin_family = to.sin_family = AF_INET;
  ::inet_pton(AF_INET, source, &from.sin_addr);
  to.sin_port = htons(uint16_t(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
      ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Reads until count bytes, the peer's close or the deadline; closed tells
// which of the last two ended it.
std::string Read(int fd, size_t count, Deadline deadline, bool* closed = nullptr) {
  std::string got;
  if (closed) *closed = false;
  while (got.size() < count) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, MsLeft(deadline)) <= 0) break;
    char buffer[256];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
      if (closed) *closed = true;
      break;
    }
    got.append(buffer, size_t(n));
  }
  return got;
}

class ClientAccessSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int port : {8040, 8041, 8042, 8097})
      ASSERT_FALSE(Listens(port, In(1s))) << "something else listens on " << port;
    std::filesystem::remove(gateway_.workDir() / "objects.txt");  // no loopback client
    std::ofstream(gateway_.workDir() / "quellport") << "8040\r\n";
    std::ofstream(gateway_.workDir() / "ClientAccess.ini")
        << "[Clients]\r\n127.0.0.1\r\n[Modules]\r\n127.0.0.1\r\n";
    ASSERT_TRUE(gateway_.Start());
    const Deadline deadline = In(30s);
    while (!Greets(8097, 24, In(2s))) {
      ASSERT_TRUE(gateway_.Running()) << gateway_.Output();
      ASSERT_GT(MsLeft(deadline), 0) << "no greeting on 8097\n" << gateway_.Output();
    }
  }

  GatewayProcess gateway_;
};

TEST_F(ClientAccessSystemTest, OutsiderIsClosedOutAndTheListedClientGetsWellFormedEvents) {
  for (int port : {8040, 8041, 8042, 8097}) {
    const int fd = ConnectFrom("127.0.0.2", port);
    ASSERT_GE(fd, 0) << port;
    // Something a client or module would send: it must change nothing.
    ::send(fd, "L1;ATA;1", 8, MSG_NOSIGNAL);
    bool closed = false;
    EXPECT_EQ(Read(fd, 1, In(5s), &closed), "") << port;
    EXPECT_TRUE(closed) << port;
    ::close(fd);
  }

  const int wardex = ConnectFrom("127.0.0.1", 8040);
  const int console2 = ConnectFrom("127.0.0.1", 8041);
  const int module = ConnectFrom("127.0.0.1", 8097);
  ASSERT_TRUE(wardex >= 0 && console2 >= 0 && module >= 0);
  ASSERT_EQ(Read(module, 24, In(5s)).size(), 24u);
  // The clients are counted before the event comes.
  ::poll(nullptr, 0, 300);
  const std::string event = "\"ADM-CID\"0001R0001L0001[#001234|1130 01 015]";
  ASSERT_EQ(::send(module, event.data(), event.size(), MSG_NOSIGNAL), ssize_t(event.size()));
  EXPECT_EQ(Read(module, 4, In(5s)), "ACK\r");
  const std::string toWardex = Read(wardex, 36, In(5s));
  EXPECT_EQ(toWardex, "MLR;5011 181234E13001015\r;MLR_EVENT|");
  EXPECT_EQ(WireFormFault(WireTarget::WardexClient, toWardex, NoticeOrigin::IpEvent), "");
  const std::string toConsole2 = Read(console2, 21, In(5s));
  EXPECT_EQ(WireFormFault(WireTarget::Console2, toConsole2), "");
  for (int fd : {wardex, console2, module}) ::close(fd);

  std::string how;
  EXPECT_TRUE(gateway_.Stop(In(20s), &how)) << how << "\n" << gateway_.Output();
}

}  // namespace
}  // namespace quell::test
