#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>

#include "core/cp1251.h"
#include "core/trace_view.h"
#include "lines/line.h"
#include "lines/line_port.h"
#include "lines/serial_port.h"
#include "tests/support/fake_clock.h"
#include "tests/support/pty_pair.h"

namespace quell {
namespace {

class LinePortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device.Ok()) << device.Error();
    ASSERT_TRUE(dir.Ok());
    dir.Map(3, device.SlavePath());
    line.PortNumber = 3;
  }
  bool Open(TLineGSM& l) { return OpenLinePort(l, dir.Names(), clock, &trace); }
  std::string Entry(int n) {
    std::lock_guard g(line.TextLock);
    return line.Messages.Entry(n);
  }
  test::PtyMaster device;
  test::PortDir dir;
  test::FakeClock clock;
  TraceView trace;
  TLineGSM line;
};

TEST_F(LinePortTest, OpensConfiguresAndExchangesBytes) {
  ASSERT_TRUE(Open(line));
  EXPECT_TRUE(line.PortOpen);
  EXPECT_EQ(Entry(1), "\\\\.\\COM3:   SUCCESS_HANDLE_VALUE  14:03:27");
  EXPECT_EQ(Entry(2), "\\\\.\\COM3:   DCB_SET_OK  14:03:27");
  EXPECT_EQ(Entry(3), "\\\\.\\COM3:   COM_SET_OK  14:03:27");
  EXPECT_EQ(Entry(4), W("Product_Name:  Нет сообщений"));
  ASSERT_FALSE(trace.Lines().empty());
  EXPECT_EQ(trace.Lines().back(), "\\\\.\\COM3 " + device.SlavePath());
  termios applied{};  // the slave's settings, read through the master
  ASSERT_EQ(tcgetattr(device.MasterFd(), &applied), 0);
  EXPECT_EQ(cfgetospeed(&applied), speed_t(B19200));
  EXPECT_EQ(applied.c_lflag & (ICANON | ECHO), 0u);

  EXPECT_EQ(WriteLine(line, "ATA\r\n"), 5);
  EXPECT_EQ(device.Receive(5), "ATA\r\n");

  device.Send("OK\r\x81");
  std::string got;
  while (got.size() < 4 && ReadLineByte(line)) {
    EXPECT_EQ(line.IoCount, 1u);
    got += char(line.RxByte);
  }
  EXPECT_EQ(got, "OK\r\x81");  // raw: no CR translation, all eight bits
  EXPECT_EQ(InputQueueCount(line), 0);
}

TEST_F(LinePortTest, IdleReadTimesOutWithNothing) {
  ASSERT_TRUE(Open(line));
  line.RxByte = 'x';
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadLineByte(line));
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(line.IoCount, 0u);
  EXPECT_EQ(line.RxByte, 'x');
  EXPECT_GE(waited, std::chrono::milliseconds(550));
  EXPECT_LT(waited, std::chrono::milliseconds(1500));
}

TEST_F(LinePortTest, RejectedSettingsCloseThePortAgain) {
  for (auto bad :
       {+[](TPortConfig& c) { c.BaudRate = 14400; }, +[](TPortConfig& c) { c.ByteSize = 4; }}) {
    TLineGSM l;
    l.PortNumber = 3;
    bad(l.PortConfig);
    EXPECT_FALSE(Open(l));
    EXPECT_FALSE(l.PortOpen);
    EXPECT_EQ(l.Messages.Entry(1), "\\\\.\\COM3:   SUCCESS_HANDLE_VALUE  14:03:27");
    EXPECT_EQ(l.Messages.Entry(2), "\\\\.\\COM3:   DCB_SET_ERROR  14:03:27");
    EXPECT_EQ(l.Messages.Entry(3), W("COM_Set:  Нет сообщений"));
    EXPECT_EQ(LinePort(l), nullptr);
  }
  // Closed for real: the exclusive open succeeds again.
  EXPECT_TRUE(Open(line));
}

TEST_F(LinePortTest, MissingDeviceGivesInvalidHandleAndKeepsPortOpenFlag) {
  line.PortNumber = 0;
  line.PortOpen = true;  // as left by an earlier open
  EXPECT_FALSE(Open(line));
  EXPECT_EQ(Entry(1), "\\\\.\\COM0:   INVALID_HANDLE_VALUE  14:03:27");
  EXPECT_EQ(Entry(2), W("DCB_Set:  Нет сообщений"));
  EXPECT_TRUE(line.PortOpen);

  dir.Map(7, "/dev/quell-no-such-device");
  line.PortNumber = 7;
  line.PortOpen = false;
  EXPECT_FALSE(Open(line));
  EXPECT_EQ(Entry(1), "\\\\.\\COM7:   INVALID_HANDLE_VALUE  14:03:27");
  EXPECT_FALSE(line.PortOpen);
  EXPECT_EQ(InputQueueCount(line), -1);
  EXPECT_FALSE(ReadLineByte(line));
  EXPECT_EQ(WriteLine(line, "x"), 0);
}

TEST_F(LinePortTest, SecondOpenOfTheSameDeviceFails) {
  ASSERT_TRUE(Open(line));
  TLineGSM other;
  other.PortNumber = 3;
  EXPECT_FALSE(Open(other));
  EXPECT_EQ(other.Messages.Entry(1), "\\\\.\\COM3:   INVALID_HANDLE_VALUE  14:03:27");
  EXPECT_TRUE(line.PortOpen);
  EXPECT_EQ(WriteLine(line, "still mine"), 10);

  CloseLinePort(line);
  EXPECT_TRUE(Open(other));
}

TEST_F(LinePortTest, ReopenClosesFirstAndResetsMessages) {
  ASSERT_TRUE(Open(line));
  std::shared_ptr<SerialPort> first = LinePort(line);
  line.Messages.Entry(10) = "LastProc_ERROR_Result: INISTR_SEND";
  clock.Advance(5000);
  ASSERT_TRUE(Open(line));  // would fail if the old handle still held the device
  EXPECT_FALSE(first->IsOpen());
  EXPECT_EQ(Entry(10), W("LastProc_ERROR_Result: Нет сообщений"));
  EXPECT_EQ(Entry(1), "\\\\.\\COM3:   SUCCESS_HANDLE_VALUE  14:03:32");
}

// The old handle is gone either way: the line must not stay "open".
TEST_F(LinePortTest, FailedReopenClearsThePortOpenFlag) {
  ASSERT_TRUE(Open(line));
  dir.Map(7, "/dev/quell-no-such-device");
  line.PortNumber = 7;
  EXPECT_FALSE(Open(line));
  EXPECT_FALSE(line.PortOpen);
  EXPECT_EQ(LinePort(line), nullptr);

  line.PortNumber = 3;
  ASSERT_TRUE(Open(line));
  line.PortConfig.BaudRate = 14400;  // rejected
  EXPECT_FALSE(Open(line));
  EXPECT_FALSE(line.PortOpen);
}

TEST(PosixSerialPort, TranslatesFramingAndParity) {
  struct Case {
    uint32_t baud;
    uint8_t bits, stop, parity;
    bool check;
    speed_t speed;
    tcflag_t cflag;
  };
  const Case cases[] = {
      {19200, 8, 0, 0, false, B19200, CS8},
      {9600, 7, 2, 2, true, B9600, CS7 | CSTOPB | PARENB},
      {1200, 5, 1, 1, false, B1200, CS5 | CSTOPB | PARENB | PARODD},  // 1.5 stop bits as 2
      {115200, 6, 0, 3, false, B115200, CS6 | PARENB | PARODD | CMSPAR},
      {57600, 8, 0, 4, false, B57600, CS8 | PARENB | CMSPAR},
  };
  const tcflag_t kFraming = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR;
  for (const Case& c : cases) {
    TPortConfig config;
    config.BaudRate = c.baud;
    config.ByteSize = c.bits;
    config.StopBits = c.stop;
    config.Parity = c.parity;
    config.fParity = c.check;
    termios t{};
    t.c_iflag = IXON | IXOFF | INPCK | ICRNL;
    t.c_lflag = ICANON | ECHO;
    t.c_cflag = CRTSCTS | CS8 | PARENB | PARODD | CSTOPB;
    ASSERT_TRUE(SetTermios(config, t)) << c.baud;
    EXPECT_EQ(cfgetospeed(&t), c.speed) << c.baud;
    EXPECT_EQ(cfgetispeed(&t), c.speed) << c.baud;
    EXPECT_EQ(t.c_cflag & kFraming, c.cflag) << c.baud;
    EXPECT_EQ((t.c_iflag & INPCK) != 0, c.check) << c.baud;
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 6);
  }
  termios t{};
  std::string error;
  TPortConfig config;
  config.StopBits = 3;
  EXPECT_FALSE(SetTermios(config, t, &error));
  config.StopBits = 0;
  config.Parity = 5;
  EXPECT_FALSE(SetTermios(config, t, &error));
  EXPECT_EQ(error, "unsupported parity code 5");
}

TEST(PosixSerialPort, HangUpAndCloseFailOperationsWithoutWaiting) {
  test::PtyMaster device;
  ASSERT_TRUE(device.Ok());
  auto port = PosixSerialPort::Open(device.SlavePath());
  ASSERT_TRUE(port);
  device.Hangup();
  uint8_t byte = 0;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port->ReadByte(byte), -1);
  EXPECT_EQ(port->WaitForEvent(5000), PortWait::Failed);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));

  port->Close();
  port->Close();
  EXPECT_FALSE(port->IsOpen());
  EXPECT_EQ(port->ReadByte(byte), -1);
  EXPECT_EQ(port->InputQueueCount(), -1);
  EXPECT_EQ(port->Write("x"), 0);
  EXPECT_EQ(port->WaitForEvent(5000), PortWait::Failed);
}

TEST(PosixSerialPort, InterruptCutsWaitsUntilCleared) {
  test::PtyMaster device;
  ASSERT_TRUE(device.Ok());
  auto port = PosixSerialPort::Open(device.SlavePath());
  ASSERT_TRUE(port);
  port->Interrupt();
  uint8_t byte = 0;
  EXPECT_EQ(port->WaitForEvent(5000), PortWait::Interrupted);
  EXPECT_EQ(port->ReadByte(byte), 0);
  EXPECT_EQ(port->WaitForEvent(5000), PortWait::Interrupted);  // stays cut
  port->ClearInterrupt();
  device.Send("Z");
  EXPECT_EQ(port->WaitForEvent(5000), PortWait::Data);
  EXPECT_EQ(port->InputQueueCount(), 1);
  EXPECT_EQ(port->ReadByte(byte), 1);
  EXPECT_EQ(byte, 'Z');
}

}  // namespace
}  // namespace quell
