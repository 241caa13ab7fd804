#include "console/console_output.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/wire.h"
#include "tests/support/fakes.h"
#include "tests/support/manual_event_log.h"

namespace quell {
namespace {

test::FakeConsoleDevice OpenAliveDevice() {
  test::FakeConsoleDevice device;
  device.portOpen = device.alive = true;
  return device;
}

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kEvent = "5011 180099R35600000";
const std::string kAdemcoHeartbeat = std::string(1, kLF) + kOkayLine;

class ConsoleOutputTest : public ::testing::Test {
 protected:
  ConsoleOutputTest() { output.SetIpSupervision(&ip); }

  // Runs ticks until `ticks` of them have run since the start, and returns
  // the numbers of the ticks on which the console port got a heartbeat.
  std::vector<int> TickUntil(int last, const std::string& heartbeat = kHeartbeatLine) {
    std::vector<int> beats;
    while (ticks < last) {
      const size_t before = device.writes.size();
      output.Tick();
      ++ticks;
      for (size_t i = before; i < device.writes.size(); ++i)
        if (device.writes[i] == heartbeat) beats.push_back(ticks);
    }
    return beats;
  }

  // The console answers the first heartbeat; the link is up after tick 22.
  void BringLinkUp() {
    TickUntil(21);
    output.ConsoleAcknowledged() = true;
    TickUntil(22);
    ASSERT_TRUE(output.LinkUp());
  }

  std::vector<std::string> NonHeartbeatWrites() const {
    std::vector<std::string> out;
    for (const auto& w : device.writes)
      if (w != kHeartbeatLine && w != kAdemcoHeartbeat) out.push_back(w);
    return out;
  }

  SharedTextList queue;
  test::FakeConsoleDevice device = OpenAliveDevice();
  test::FakeClientFeed clients;
  test::FakeIpSupervision ip;
  TraceView trace;
  ConsoleSettings console;
  IpModuleSettings ipSettings;
  CodeTable codes;
  ConsoleOutput output{queue, device, clients, trace, console, ipSettings, codes};
  int ticks = 0;
};

TEST_F(ConsoleOutputTest, FirstHeartbeatOnTwentyFirstTick) {
  TickUntil(20);
  EXPECT_THAT(device.writes, IsEmpty());
  EXPECT_THAT(TickUntil(21), ElementsAre(21));
  EXPECT_TRUE(output.AwaitingAnswer());
}

TEST_F(ConsoleOutputTest, AdemcoHeartbeatIsOkayLineAfterLF) {
  console.protocol = OutputProtocol::Ademco685;
  device.form = WireTarget::ConsoleAdemco685;
  TickUntil(21);
  EXPECT_THAT(device.writes, ElementsAre(std::string("\n00 OKAY @\r")));
}

TEST_F(ConsoleOutputTest, AnsweringConsoleBringsLinkUpAndEntriesFlowOnePerTick) {
  queue.Append(kEvent);
  queue.Append("5011 181234E13000001");
  queue.Append("5011 181234R13000001");
  TickUntil(21);
  EXPECT_EQ(queue.Size(), 3u);  // the link is still down

  output.ConsoleAcknowledged() = true;
  TickUntil(22);
  EXPECT_TRUE(output.LinkUp());
  EXPECT_EQ(queue.Size(), 2u);
  TickUntil(24);
  EXPECT_TRUE(queue.Empty());
  EXPECT_EQ(NonHeartbeatWrites().size(), 3u);

  // The next heartbeat follows 46 ticks after the link came up.
  EXPECT_THAT(TickUntil(68), ElementsAre(68));
}

TEST_F(ConsoleOutputTest, SilentConsoleGetsBurstsOfThreeAndQueueWaits) {
  queue.Append(kEvent);
  EXPECT_THAT(TickUntil(130), ElementsAre(21, 22, 23, 70, 71, 72, 119, 120, 121));
  EXPECT_FALSE(output.LinkUp());
  EXPECT_THAT(queue.Snapshot(), ElementsAre(kEvent));
  EXPECT_THAT(NonHeartbeatWrites(), IsEmpty());
}

TEST_F(ConsoleOutputTest, LinkGoesDownAfterThreeUnansweredHeartbeats) {
  BringLinkUp();
  EXPECT_THAT(TickUntil(71), ElementsAre(68, 69, 70));
  EXPECT_FALSE(output.LinkUp());
  queue.Append(kEvent);
  TickUntil(80);
  EXPECT_EQ(queue.Size(), 1u);
}

TEST_F(ConsoleOutputTest, SecondConsoleClientCarriesLinkWithPortClosed) {
  device.portOpen = false;
  console.protocol = OutputProtocol::Ademco685;  // the client still gets MLR2
  clients.console2Clients = 1;
  const std::string entry = std::string("5011 181234E13000001") + kDC4;
  queue.Append(entry);

  TickUntil(21);
  EXPECT_THAT(clients.console2, ElementsAre(kHeartbeatLine));
  output.ConsoleAcknowledged() = true;
  TickUntil(22);

  EXPECT_TRUE(output.LinkUp());
  EXPECT_THAT(clients.console2, ElementsAre(kHeartbeatLine, entry));
  EXPECT_THAT(device.writes, IsEmpty());
  EXPECT_TRUE(queue.Empty());
  EXPECT_THAT(trace.Lines(), ElementsAre("VP  " + entry, "VP  mmmsoccc"));
}

TEST_F(ConsoleOutputTest, MlrEntryGetsOneDc4AddedEvenAfterItsOwn) {
  BringLinkUp();
  queue.Append(kEvent);
  queue.Append(kEvent + kDC4);
  TickUntil(24);
  EXPECT_THAT(NonHeartbeatWrites(), ElementsAre(kEvent + kDC4, kEvent + std::string(2, kDC4)));
  EXPECT_EQ(NonHeartbeatWrites()[0].size(), 21u);
  EXPECT_THAT(trace.Lines(), ElementsAre("VP  " + kEvent, "VP  mmm111", "VP  mmm",
                                         "VP  " + kEvent + kDC4, "VP  mmm111", "VP  mmm"));
}

TEST_F(ConsoleOutputTest, AdemcoEntriesAreConvertedOrDroppedSilently) {
  console.protocol = OutputProtocol::Ademco685;
  device.form = WireTarget::ConsoleAdemco685;
  console.receiverNumber = "01";
  codes = {"31\tE130 001", "32\tR130 001"};
  BringLinkUp();
  queue.Append("5011 181234E99900001");  // no record
  queue.Append(std::string("5011 181234E13000001") + kDC4);
  TickUntil(23);
  EXPECT_EQ(queue.Size(), 1u);
  EXPECT_THAT(NonHeartbeatWrites(), IsEmpty());
  TickUntil(24);
  EXPECT_TRUE(queue.Empty());
  EXPECT_THAT(NonHeartbeatWrites(), ElementsAre("\n01 1234 31\r"));
  EXPECT_EQ(trace.Lines().back(), "ademco  01 1234 31\r");
}

TEST_F(ConsoleOutputTest, QuietConsoleDropsEntriesUnlessStoreOffline) {
  BringLinkUp();
  device.alive = false;
  queue.Append("a");
  queue.Append("b");
  TickUntil(23);
  EXPECT_THAT(queue.Snapshot(), ElementsAre("b"));

  ipSettings.storeOffline = true;
  TickUntil(26);
  EXPECT_THAT(queue.Snapshot(), ElementsAre("b"));
  EXPECT_THAT(NonHeartbeatWrites(), IsEmpty());

  device.alive = true;
  TickUntil(27);
  EXPECT_TRUE(queue.Empty());
  EXPECT_THAT(NonHeartbeatWrites(), ElementsAre(std::string("b") + kDC4));
}

TEST_F(ConsoleOutputTest, FailedWriteKeepsEntryForNextTick) {
  BringLinkUp();
  queue.Append(kEvent);
  device.failWrites = true;
  TickUntil(24);
  EXPECT_THAT(queue.Snapshot(), ElementsAre(kEvent));
  EXPECT_EQ(trace.Lines().back(), "Exception: port gone");

  device.failWrites = false;
  TickUntil(25);
  EXPECT_TRUE(queue.Empty());
  EXPECT_THAT(NonHeartbeatWrites(), ElementsAre(kEvent + kDC4));
}

TEST_F(ConsoleOutputTest, IdleListenerConnectionsCloseOnTick121) {
  std::vector<std::string> shown;
  output.SetStatusSink([&](const std::string& text) { shown.push_back(text); });
  ip.connections[size_t(IpListener::P8097)] = 12;
  ip.connections[size_t(IpListener::P8095)] = 1;
  output.ResetIdle(IpListener::P8098);
  TickUntil(5);
  EXPECT_EQ(shown.back(), "12");
  output.ResetIdle(IpListener::P8095);  // a message on 8095 after tick 5

  TickUntil(120);
  EXPECT_THAT(ip.closes, IsEmpty());
  EXPECT_EQ(output.Idle(IpListener::P8097), 120);
  TickUntil(121);
  EXPECT_THAT(ip.closes, ElementsAre(IpListener::P8097));
  EXPECT_EQ(output.Idle(IpListener::P8097), 0);
  EXPECT_EQ(output.Idle(IpListener::P8098), 0);  // no connections, never counted
  EXPECT_EQ(output.Idle(IpListener::P8095), 116);

  TickUntil(126);
  EXPECT_THAT(ip.closes, ElementsAre(IpListener::P8097, IpListener::P8095));
  EXPECT_EQ(shown.back(), "0");
  EXPECT_EQ(ip.lossChecks, 126);
}

TEST_F(ConsoleOutputTest, WriteEventDirectInBothFormats) {
  EXPECT_EQ(output.WriteEventDirect(kEvent), "");
  console.protocol = OutputProtocol::Ademco685;
  device.form = WireTarget::ConsoleAdemco685;
  codes = {"3A\tR356 000"};
  EXPECT_EQ(output.WriteEventDirect(kEvent), "00 0099 3A\r");
  EXPECT_EQ(output.WriteEventDirect("5011 181234E13000001"), "");  // no record
  EXPECT_THAT(device.writes, ElementsAre(kEvent + kDC4, "\n00 0099 3A\r"));

  device.failWrites = true;
  EXPECT_EQ(output.WriteEventDirect(kEvent), "");
  EXPECT_EQ(trace.Lines().back(), "Exception: port gone");
}

// Where a stored event's queue entry went: delivered once the port took
// every byte or the second console client's connection sent it; a short
// write or a client gone first leaves it pending at the head.
TEST_F(ConsoleOutputTest, DeliveryOfStoredEntriesIsRecordedOnlyWhenAllBytesLeft) {
  using Fate = test::ManualEventLog::Fate;
  test::ManualEventLog log;
  output.SetEventLog(&log);
  const Fate delivered{7, EventTarget::Console, EventFate::Delivered};
  BringLinkUp();

  output.AppendEvent(kEvent, RowKey{{}, 0, 7});
  device.shortWrites = true;
  TickUntil(23);
  EXPECT_THAT(queue.Snapshot(), ElementsAre(kEvent));
  EXPECT_THAT(log.fates, IsEmpty());
  device.shortWrites = false;
  TickUntil(24);
  EXPECT_THAT(queue.Snapshot(), IsEmpty());
  EXPECT_THAT(log.fates, ElementsAre(delivered));

  // The second console client: the entry waits until its bytes left, is not
  // sent twice meanwhile, and a client let go first leaves it pending.
  log.fates.clear();
  clients.console2Clients = 1;
  clients.holdSends = true;
  output.AppendEvent(kEvent, RowKey{{}, 0, 7});
  TickUntil(26);
  ASSERT_EQ(clients.heldSends.size(), 1u);
  clients.heldSends[0](false);
  EXPECT_THAT(queue.Snapshot(), ElementsAre(kEvent));
  TickUntil(27);
  ASSERT_EQ(clients.heldSends.size(), 2u);
  clients.heldSends[1](true);
  EXPECT_THAT(queue.Snapshot(), IsEmpty());
  EXPECT_THAT(log.fates, ElementsAre(delivered));

  // Dropped by a silent console without store-offline: recorded so.
  clients.console2Clients = 0;
  log.fates.clear();
  device.alive = false;
  output.AppendEvent(kEvent, RowKey{{}, 0, 8});
  TickUntil(28);
  EXPECT_THAT(log.fates, ElementsAre(Fate{8, EventTarget::Console, EventFate::Dropped}));
}

}  // namespace
}  // namespace quell
