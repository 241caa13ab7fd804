// The IP receivers with an event store whose commits the test completes:
// nothing leaves before the commit, replies keep their order, a failed
// commit makes the message have no effect, and a new event reaches the
// console port even while kept entries drain to a second console client.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/wire.h"
#include "ip/dc09_frames.h"
#include "ip/dc09_receiver.h"
#include "ip/event_delivery.h"
#include "ip/ip_receivers.h"
#include "tests/ip/ip_fixture.h"
#include "tests/support/loopback.h"
#include "tests/support/manual_event_log.h"

namespace quell {
namespace {

using test::TestClient;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kExample = "\"ADM-CID\"0001R0001L0001[#001234|1130 01 015]";
const std::string kRejected = "\"ADM-CID\"0001R0001L0001[#001234|6130 01 015]";
const std::string kEventLine = "5011 181234E13001015";
const std::string kKeepAlive = "SR0001L0001    001234";
const std::string kCr(1, kCR);

class StoredRepliesTest : public test::IpFixture {
 protected:
  StoredRepliesTest() {
    receivers.SetEventLog(&log);
    output.SetEventLog(&log);
    EXPECT_TRUE(receivers.Listen());
    feed.wardexClients = feed.console2Clients = 1;
  }

  void Connect(TestClient& module, IpListener listener) {
    ASSERT_TRUE(module.Connect(receivers.Port(listener)));
    ASSERT_TRUE(module.WaitReceived(24));
  }
  // Sends one message and waits until the receiver has journalled it.
  void SendHandled(TestClient& module, const std::string& m) {
    const size_t before = trace.Size();
    module.Send(m);
    ASSERT_TRUE(test::WaitFor([&] { return trace.Size() > before; }));
  }

  test::ManualEventLog log;
  test::FakeClientFeed feed;
  IpModuleList list;
  IpModuleSupervision modules{clock, list, settings, notices, output};
  AdmCidParser parser{modules, output, settings};
  IpReceivers receivers{clock,    journal, trace, output, device, console,
                        settings, ports,   feed,  parser, modules};
};

TEST_F(StoredRepliesTest, RepliesKeepMessageOrderWhileAnAckWaitsForItsCommit) {
  device.alive = true;
  TestClient module;
  Connect(module, IpListener::P8096);
  SendHandled(module, kExample);
  SendHandled(module, kRejected);
  SendHandled(module, "FUJ");
  ASSERT_EQ(log.rows.size(), 1u);
  test::WaitFor([] { return false; }, 20);
  EXPECT_EQ(module.After(24), "");  // the NACK and FUJ's ACK wait behind the ACK
  EXPECT_THAT(feed.wardex, IsEmpty());
  EXPECT_EQ(device.written, "");

  log.Complete(true);
  ASSERT_TRUE(module.WaitReceived(24 + 4 + 5 + 4));
  EXPECT_EQ(module.After(24), "ACK" + kCr + "NACK" + kCr + "ACK" + kCr);
  EXPECT_THAT(feed.wardex, ElementsAre("MLR;" + kEventLine + kCr + ";MLR_EVENT|"));
  EXPECT_EQ(device.written, kEventLine + kDC4);

  const EventRow& row = log.rows[0];
  EXPECT_EQ(row.road, "tcp");
  EXPECT_EQ(row.line, std::to_string(receivers.Port(IpListener::P8096)));
  EXPECT_EQ(row.peer, "127.0.0.1");
  EXPECT_EQ(row.account, "1234");
  EXPECT_EQ(row.raw, kExample);
  EXPECT_EQ(row.consoleText, kEventLine + kDC4);
  // The client's copy is recorded too: it went to the connected client.
  EXPECT_EQ(log.fates, (std::vector<test::ManualEventLog::Fate>{
                           {1, EventTarget::Notice, EventFate::Delivered},
                           {1, EventTarget::Console, EventFate::Delivered}}));
}

TEST_F(StoredRepliesTest, FailedCommitGetsNackWithoutTroubleLineAndGoesNowhere) {
  device.portOpen = true;
  settings.storeOffline = true;
  TestClient module;
  Connect(module, IpListener::P8097);
  SendHandled(module, kExample);
  log.Complete(false);
  ASSERT_TRUE(module.WaitReceived(24 + 5));
  EXPECT_EQ(module.After(24), "NACK" + kCr);
  EXPECT_EQ(device.written, "");
  EXPECT_THAT(feed.wardex, IsEmpty());
  EXPECT_THAT(feed.console2, IsEmpty());
  EXPECT_TRUE(consoleQueue.Empty());
  EXPECT_EQ(module.socket.state(), QAbstractSocket::ConnectedState);
}

// Without a Wardex client the event's client copy is recorded as dropped
// (IP events are not kept for a client).
TEST_F(StoredRepliesTest, ClientCopyWithoutAClientIsRecordedDropped) {
  feed.wardexClients = 0;
  TestClient module;
  Connect(module, IpListener::P8097);
  SendHandled(module, kExample);
  log.Complete(true);
  ASSERT_TRUE(module.WaitReceived(24 + 4));
  ASSERT_FALSE(log.fates.empty());
  EXPECT_EQ(log.fates[0].target, EventTarget::Notice);
  EXPECT_EQ(log.fates[0].fate, EventFate::Dropped);
}

TEST_F(StoredRepliesTest, SupervisionOn8098ClosesOnlyAfterItsStoredAck) {
  TestClient module;
  Connect(module, IpListener::P8098);
  SendHandled(module, kKeepAlive);
  module.Send(kExample);  // after the closing message: not read
  test::WaitFor([] { return false; }, 20);
  EXPECT_EQ(module.socket.state(), QAbstractSocket::ConnectedState);
  log.Complete(true);
  ASSERT_TRUE(module.WaitClosed());
  EXPECT_EQ(module.After(24), "ACK" + kCr);
  EXPECT_EQ(log.rows.size(), 1u);
  EXPECT_EQ(log.rows[0].account, "1234");
}

TEST_F(StoredRepliesTest, Dc09RepliesWaitPerSenderAndAFailedCommitGetsTheNackFrame) {
  Dc09Receiver receiver{clock, journal, trace, output, device, settings, ports, feed, parser};
  receiver.SetEventLog(&log);
  const auto datagram = [](const std::string& body) {
    char crc[5];
    std::snprintf(crc, sizeof crc, "%04X", unsigned(Crc16Arc(body)));
    return "\n" + std::string(crc) + "0040" + body + "\r";
  };
  const std::string event =
      datagram("\"ADM-CID\"0001L0#1234[#1234|1130 01 015]_12:00:00,01-01-2020");
  const std::string test602 =
      datagram("\"ADM-CID\"0003L0#1234[#1234|1602 00 000]_12:00:00,01-01-2020");
  std::vector<std::string> a, b;
  const auto toA = [&](const std::string& bytes) { a.push_back(bytes); };
  const auto toB = [&](const std::string& bytes) { b.push_back(bytes); };

  receiver.Handle(event, toA, "a");
  receiver.Handle("REQ", toA, "a");
  receiver.Handle("REQ", toB, "b");
  EXPECT_THAT(a, IsEmpty());  // the probe's answer waits behind the event's ACK
  EXPECT_THAT(b, ElementsAre("0", kCr));
  log.Complete(true);
  EXPECT_THAT(a, ElementsAre(Dc09AckFrame("0001L0#1234"), "0", kCr));

  a.clear();
  receiver.Handle(event, toA, "a");
  log.Complete(false);
  EXPECT_THAT(a, ElementsAre(Dc09NackFrame("12:00:00,01-01-2020\r")));

  // A periodic test report is a row kept from the console.
  receiver.Handle(test602, toA, "a");
  EXPECT_EQ(log.rows.back().console, EventFate::NotForConsole);
  EXPECT_EQ(log.rows.back().road, "dc09");
  EXPECT_EQ(log.rows.back().peer, "a");
}

// Entries kept while the console was silent drain to a second console
// client; a new event then goes to the port at once (the client has its
// copy already) instead of a second time to the client behind them.
TEST(EventDeliveryTest, NewEventGoesToThePortWhileKeptEntriesDrainToTheSecondConsole) {
  SharedTextList queue;
  test::FakeConsoleDevice device;
  test::FakeClientFeed feed;
  TraceView trace;
  ConsoleSettings console;
  IpModuleSettings settings;
  CodeTable codes;
  ConsoleOutput output{queue, device, feed, trace, console, settings, codes};
  device.alive = true;
  const std::string kept = "5011 181111E13001015" + std::string(1, kDC4);
  queue.Append(kept);
  const struct {
    int console2Clients;
    std::string written;
    std::vector<std::string> queued;
  } cases[] = {
      {1, kEventLine + kDC4, {kept}},
      {0, "", {kept, kEventLine + kDC4}},
  };
  for (const auto& c : cases) {
    feed.console2Clients = c.console2Clients;
    device.written.clear();
    DeliverEventToConsole(output, device, trace, true, kEventLine);
    EXPECT_EQ(device.written, c.written);
    EXPECT_EQ(queue.Snapshot(), c.queued);
  }
}

}  // namespace
}  // namespace quell
