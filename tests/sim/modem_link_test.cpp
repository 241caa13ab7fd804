#include "sim/modem/modem_link.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>

namespace quell::sim {
namespace {

// The gateway's end: the slave opened as a serial client opens its port.
class Client {
 public:
  explicit Client(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
  ~Client() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }
  void MakeExclusive() { ::ioctl(fd_, TIOCEXCL); }
  bool Exclusive() const {
    int on = 0;
    return ::ioctl(fd_, TIOCGEXCL, &on) == 0 && on != 0;
  }
  void Send(std::string_view bytes) {
    ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }
  // Runs the event loop until count bytes came or two seconds passed.
  std::string Receive(size_t count) {
    std::string got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < count && clock.elapsed() < 2000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      char buf[256];
      ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n > 0) got.append(buf, size_t(n));
    }
    return got;
  }

 private:
  int fd_;
};

TEST(ModemLink, AnswersOverAPseudoTerminalAcrossReopens) {
  ModemLink link{ModemOptions{}};
  std::string error;
  ASSERT_TRUE(link.OpenPty(&error)) << error;
  std::string traffic;
  link.SetTrafficObserver([&](bool fromGateway, std::string_view bytes) {
    traffic += (fromGateway ? "<" : ">") + std::string(bytes);
  });
  {
    Client gateway(link.DevicePath());
    ASSERT_TRUE(gateway.Ok());
    gateway.Send("AT\r");
    EXPECT_EQ(gateway.Receive(9), "AT\r\r\nOK\r\n");
  }
  // Output while no one has the port is lost, not kept for the next opener.
  link.With([](SimModem& modem) { modem.IncomingCall("+7900"); });
  Client again(link.DevicePath());
  ASSERT_TRUE(again.Ok());
  again.Send("ATE0\r");
  EXPECT_EQ(again.Receive(11), "ATE0\r\r\nOK\r\n");
  EXPECT_EQ(traffic, "<AT\r>AT\r\r\nOK\r\n<ATE0\r>ATE0\r\r\nOK\r\n");
}

// Runs the event loop until done() holds or two seconds passed.
template <class F>
bool RunUntil(F done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 2000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

TEST(ModemLink, ServesAShortLivedPeerAndClearsItsExclusiveMode) {
  ModemLink link{ModemOptions{}};
  std::string error;
  ASSERT_TRUE(link.OpenPty(&error)) << error;
  {
    Client gateway(link.DevicePath());  // gone before the link's timer runs
    gateway.MakeExclusive();
    gateway.Send("AT\r");
  }
  EXPECT_TRUE(RunUntil([&] { return !link.Modem().Commands().empty(); }));
  // Without privileges the gateway could not reopen a slave left exclusive.
  EXPECT_TRUE(RunUntil([&] { return !Client(link.DevicePath()).Exclusive(); }));
}

}  // namespace
}  // namespace quell::sim
