#pragma once
// What the IP channel tests build around the part they test: the shared
// lists, settings, a recording console port, the client ports (bound to free
// ports) and the console output.
#include <gtest/gtest.h>

#include "console/console_output.h"
#include "core/journal.h"
#include "core/notice_list.h"
#include "ip/client_ports.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"

namespace quell::test {

class IpFixture : public ::testing::Test {
 protected:
  IpFixture() {
    ports.wardex = ports.console2 = 0;
    ports.ip8097 = ports.ip8098 = ports.ip8096 = ports.ip8095 = 0;
    EXPECT_TRUE(clients.Listen());
    clients.SetSendObserver(CheckClientSend);
  }

  FakeClock clock;
  Journal journal;
  TraceView trace;
  NoticeList notices;
  SharedTextList consoleQueue;
  FakeConsoleDevice device;
  ConsoleSettings console;
  IpModuleSettings settings;
  PortSettings ports;
  CodeTable codes;
  ClientPorts clients{journal, trace, output, ports};
  ConsoleOutput output{consoleQueue, device, clients, trace, console, settings, codes};
};

}  // namespace quell::test
