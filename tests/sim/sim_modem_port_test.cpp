#include "sim/modem/sim_modem_port.h"

#include <gtest/gtest.h>

#include <chrono>

namespace quell::sim {
namespace {

class SimModemPortTest : public ::testing::Test {
 protected:
  SimModemPortTest() : port(Options(), [this] { return now; }) {}
  static ModemOptions Options() {
    ModemOptions options;
    options.ringIntervalMs = 3000;
    return options;
  }
  std::string ReadAll() {
    std::string got;
    uint8_t byte = 0;
    while (port.ReadByte(byte) == 1) got += char(byte);
    return got;
  }

  uint32_t now = 0;
  SimModemPort port;
};

TEST_F(SimModemPortTest, EmptyPortAnswersAtOnce) {
  const auto start = std::chrono::steady_clock::now();
  uint8_t byte = 0;
  EXPECT_EQ(port.ReadByte(byte), 0);
  EXPECT_EQ(port.WaitForEvent(600), PortWait::Timeout);
  EXPECT_EQ(port.InputQueueCount(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
}

TEST_F(SimModemPortTest, WritesReachTheModemAndRepliesComeBack) {
  EXPECT_EQ(port.Write("AT\r"), 3);
  EXPECT_EQ(port.WaitForEvent(600), PortWait::Data);
  EXPECT_EQ(port.InputQueueCount(), 9);
  EXPECT_EQ(ReadAll(), "AT\r\r\nOK\r\n");
  EXPECT_EQ(port.With([](SimModem& m) { return m.Commands(); }), std::vector<std::string>{"AT"});
}

TEST_F(SimModemPortTest, ModemEventsAndTimersShowAsInput) {
  port.With([](SimModem& m) { m.IncomingCall("+7900"); });
  const std::string ring = ReadAll();
  EXPECT_EQ(ring, "\r\nRING\r\n\r\n+CLIP: \"+7900\",145,,,,0\r\n");
  now += 2999;
  EXPECT_EQ(port.InputQueueCount(), 0);
  now += 1;
  EXPECT_EQ(port.InputQueueCount(), int(ring.size()));  // the second ring, polled by the query
}

TEST_F(SimModemPortTest, InterruptCutsReadsAndWaitsShort) {
  port.Write("AT\r");
  port.Interrupt();
  uint8_t byte = 0;
  EXPECT_EQ(port.ReadByte(byte), 0);
  EXPECT_EQ(port.WaitForEvent(600), PortWait::Interrupted);
  port.ClearInterrupt();
  EXPECT_EQ(port.ReadByte(byte), 1);
  EXPECT_EQ(byte, 'A');
}

TEST_F(SimModemPortTest, ClosedPortFails) {
  port.Write("AT\r");
  port.Close();
  uint8_t byte = 0;
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.ReadByte(byte), -1);
  EXPECT_EQ(port.InputQueueCount(), -1);
  EXPECT_EQ(port.Write("AT\r"), 0);
  EXPECT_EQ(port.WaitForEvent(600), PortWait::Failed);
  port.Close();  // twice is fine
}

}  // namespace
}  // namespace quell::sim
