#include "sim/serial_endpoint.h"

#include <gtest/gtest.h>

#include "tests/support/loopback.h"
#include "tests/support/pty_pair.h"

namespace quell::sim {
namespace {

// A terminal device (here the slave of a pseudo-terminal, as the gateway's
// virtual console port is) keeps being read after its first burst: a read
// of 0 bytes when nothing waits is not taken for the device's end.
TEST(SerialEndpointTest, DeviceIsReadBurstAfterBurst) {
  test::PtyMaster device;
  ASSERT_TRUE(device.Ok()) << device.Error();
  SerialEndpoint endpoint;
  std::string received, failure;
  endpoint.SetReceiver([&](std::string_view bytes) { received.append(bytes); });
  endpoint.SetFailureHandler([&](const std::string& reason) { failure = reason; });
  std::string error;
  ASSERT_TRUE(endpoint.OpenDevice(device.SlavePath(), &error)) << error;

  const std::string linkTest = "1011           @    \x14", event = "5011 181234E13001015\x14";
  device.Send(linkTest);
  ASSERT_TRUE(test::WaitFor([&] { return received == linkTest; })) << received;
  device.Send(event);
  EXPECT_TRUE(test::WaitFor([&] { return received == linkTest + event; })) << received;
  EXPECT_EQ(failure, "");
  EXPECT_TRUE(endpoint.Send(std::string(1, '\x06')));
  EXPECT_EQ(device.Receive(1), "\x06");
}

}  // namespace
}  // namespace quell::sim
