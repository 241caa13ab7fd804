// DC-09 over TCP: frames cut out of the byte stream, answered on their
// connection in order, over-long frames refused, idle connections closed.
#include <gtest/gtest.h>

#include <QTimeZone>

#include "ip/dc09/standard_replies.h"
#include "ip/dc09/stream_framer.h"
#include "ip/dc09/tcp_listener.h"
#include "sim/dc09/dc09_frame.h"
#include "tests/ip/ip_fixture.h"
#include "tests/support/loopback.h"
#include "tests/support/peer_socket.h"

namespace quell {
namespace {

TEST(Dc09StreamFramer, CutsFramesFromLfToCr) {
  using Pieces = std::vector<std::string>;  // "!" for an overflow
  const std::string longest = "\n" + std::string(Dc09StreamFramer::kMaxFrame - 1, 'x');
  const std::string a = sim::Dc09Frame("\"NULL\"0001L0#AAAA[]");
  const std::string b = sim::Dc09Frame("\"NULL\"0002L0#AAAA[]");
  struct {
    const char* what;
    std::vector<std::string> feeds;
    Pieces pieces;
  } cases[] = {
      {"one", {a}, {a}},
      {"two in one segment", {a + b}, {a, b}},
      {"split", {a.substr(0, 5), a.substr(5, 9), a.substr(14)}, {a}},
      {"bytes before LF dropped", {"junk\r" + a, "zz" + b}, {a, b}},
      {"CR without frame", {"\r\r" + a}, {a}},
      // The form is told by the 10 bytes after the LF: a shorter piece waits
      // for them, then ends at its first CR as it always did.
      {"short piece waits for ten bytes", {"\nA\r", "\nB\r", "\n0123456789"}, {"\nA\r", "\nB\r"}},
      {"1024 bytes before CR", {longest, "\r"}, {longest + "\r"}},
      {"1025 bytes unfinished", {longest + "y"}, {"!"}},
      {"1025 bytes before CR, next frame served", {longest + "y\r" + a}, {"!", a}},
      {"overflow over several reads",
       {longest.substr(0, 600), longest.substr(600) + "yy" + a},
       {"!", a}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Dc09StreamFramer framer;
    Pieces got;
    for (const auto& f : c.feeds)
      for (const auto& p : framer.Feed(f)) got.push_back(p.overflow ? "!" : p.frame);
    EXPECT_EQ(got, c.pieces);
  }
}

class Dc09TcpTest : public test::IpFixture {
 protected:
  Dc09TcpTest() {
    clock.SetNow(QDateTime(QDate(2024, 1, 1), QTime(12, 0, 5), QTimeZone::utc()));
    Dc09Config c;
    c.accounts = {{"AAAA", "AAAA", {}}};
    receiver = std::make_unique<StandardDc09Receiver>(
        StandardDc09Receiver::Parts{clock, journal, trace, output, device, settings, feed, modules},
        c, SiaToCidTable{});
    listener = std::make_unique<Dc09TcpListener>(clock, journal, trace, *receiver);
    EXPECT_TRUE(listener->Listen(0));
  }

  static std::string Event(int sequence) {
    char seq[8];
    std::snprintf(seq, sizeof seq, "%04d", sequence);
    return sim::Dc09Frame("\"ADM-CID\"" + std::string(seq) + "L0#AAAA[#AAAA|1130 01 015]");
  }
  static std::string Ack(int sequence) {
    char seq[8];
    std::snprintf(seq, sizeof seq, "%04d", sequence);
    return sim::Dc09Frame("\"ACK\"" + std::string(seq) + "L0#AAAA[]");
  }

  test::FakeClientFeed feed;
  IpModuleList list;
  IpModuleSupervision modules{clock, list, settings, notices, output};
  std::unique_ptr<StandardDc09Receiver> receiver;
  std::unique_ptr<Dc09TcpListener> listener;
};

TEST_F(Dc09TcpTest, PipelinedAndSplitFramesAnsweredInOrder) {
  test::TestClient client;
  ASSERT_TRUE(client.Connect(listener->Port()));
  // Nothing is sent on connect.
  ASSERT_TRUE(test::WaitFor([&] { return listener->ConnectionCount() == 1; }));
  EXPECT_TRUE(client.received.empty());
  client.Send(Event(1) + Event(2) + "\nbad\r" + Event(3).substr(0, 10));
  const std::string expected = Ack(1) + Ack(2) + receiver->NakNow();
  ASSERT_TRUE(test::WaitFor([&] { return client.received.size() >= expected.size(); }));
  EXPECT_EQ(client.received, expected);
  client.received.clear();
  client.Send(Event(3).substr(10));
  ASSERT_TRUE(test::WaitFor([&] { return !client.received.empty(); }));
  EXPECT_EQ(client.received, Ack(3));
  EXPECT_EQ(list.Rows().size(), 1u);
}

// A panel's replies are not held back for its delayed TCP ACK.
TEST_F(Dc09TcpTest, RepliesAreNotHeldForThePanelsTcpAck) {
  test::TestClient client;
  ASSERT_TRUE(client.Connect(listener->Port()));
  ASSERT_TRUE(test::WaitFor([&] { return listener->ConnectionCount() == 1; }));
  EXPECT_EQ(test::ServerSideNoDelay(client.socket), std::optional<bool>(true));
}

TEST_F(Dc09TcpTest, OverLongFrameGetsNakAndIdleConnectionsClose) {
  test::TestClient client;
  ASSERT_TRUE(client.Connect(listener->Port()));
  ASSERT_TRUE(test::WaitFor([&] { return listener->ConnectionCount() == 1; }));
  client.Send("\n" + std::string(Dc09StreamFramer::kMaxFrame, 'x'));
  ASSERT_TRUE(test::WaitFor([&] { return !client.received.empty(); }));
  EXPECT_EQ(client.received, receiver->NakNow());

  clock.Advance(Dc09TcpListener::kIdleMs - 1);
  listener->CloseIdle();
  EXPECT_EQ(listener->ConnectionCount(), 1u);
  clock.Advance(1);
  listener->CloseIdle();
  EXPECT_EQ(listener->ConnectionCount(), 0u);
  EXPECT_TRUE(
      test::WaitFor([&] { return client.socket.state() == QAbstractSocket::UnconnectedState; }));
}

}  // namespace
}  // namespace quell
