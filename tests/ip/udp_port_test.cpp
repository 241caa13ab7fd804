// The batched UDP port: every datagram of bursts that end past a batch and
// exactly at one, in order, with its sender; replies back to IPv4 and IPv6 senders;
// the largest datagram whole; a burst beyond the system's default receive
// buffer; replies of a batch held until it closes; a port already taken
// refused with a reason.
#include "ip/udp_port.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include "core/batch_scope.h"
#include "ip/peer_address.h"
#include "tests/support/loopback.h"

namespace quell {
namespace {

struct Got {
  std::string data;
  std::string from;
};

// The address text of every message: dotted decimal for IPv4 (also when
// mapped into IPv6), Qt's own text for IPv6, each octet at its widest and
// narrowest.
TEST(PeerAddressText, PrintsAddressesAsQtDoes) {
  for (const char* v4 : {"0.0.0.0", "255.255.255.255", "127.0.0.1", "10.200.9.100", "1.22.133.4"}) {
    EXPECT_EQ(PeerAddressText(QHostAddress(QString::fromLatin1(v4))), v4);
    EXPECT_EQ(PeerAddressText(QHostAddress(QStringLiteral("::ffff:") + QString::fromLatin1(v4))),
              v4);
  }
  for (const char* v6 : {"::1", "2001:db8::ff00:42:8329", "fe80::1"})
    EXPECT_EQ(PeerAddressText(QHostAddress(QString::fromLatin1(v6))),
              QHostAddress(QString::fromLatin1(v6)).toString().toStdString());
}

TEST(UdpPort, TakesABurstInOrderAndAnswersEachSender) {
  std::vector<Got> got;
  UdpPort* self = nullptr;
  UdpPort port([&](std::string_view data, const UdpPort::Peer& from) {
    got.push_back(
        {std::string(data), PeerAddressText(from.Address()) + ":" + std::to_string(from.Port())});
    self->Send("re:" + std::string(data), from);
  });
  self = &port;
  ASSERT_TRUE(port.Bind(0, nullptr));
  ASSERT_NE(port.LocalPort(), 0);

  // Sent before the port reads any: three batches and one more, then
  // exactly two batches.
  QUdpSocket v4;
  ASSERT_TRUE(v4.bind(QHostAddress::LocalHost, 0));
  size_t count = 0;
  for (const size_t burst : {3 * UdpPort::kBatch + 1, 2 * UdpPort::kBatch}) {
    for (size_t i = 0; i < burst; ++i, ++count) {
      const QByteArray d = QByteArray::number(qulonglong(count));
      ASSERT_EQ(v4.writeDatagram(d, QHostAddress::LocalHost, port.LocalPort()), d.size());
    }
    ASSERT_TRUE(test::WaitFor([&] { return got.size() == count; }));
  }
  const std::string sender = "127.0.0.1:" + std::to_string(v4.localPort());
  for (size_t i = 0; i < count; ++i) {
    EXPECT_EQ(got[i].data, std::to_string(i));
    EXPECT_EQ(got[i].from, sender);
  }
  size_t replies = 0;
  ASSERT_TRUE(test::WaitFor([&] {
    while (v4.hasPendingDatagrams())
      if (v4.receiveDatagram().data() == "re:" + QByteArray::number(qulonglong(replies))) ++replies;
    return replies == count;
  }));

  // The largest datagram UDP carries, from an IPv6 sender.
  QUdpSocket v6;
  if (v6.bind(QHostAddress::LocalHostIPv6, 0)) {
    got.clear();
    const QByteArray big(65507, 'x');
    ASSERT_EQ(v6.writeDatagram(big, QHostAddress::LocalHostIPv6, port.LocalPort()), big.size());
    ASSERT_TRUE(test::WaitFor([&] { return got.size() == 1; }));
    EXPECT_EQ(got[0].data.size(), 65507u);
    EXPECT_EQ(got[0].from, "::1:" + std::to_string(v6.localPort()));
    ASSERT_TRUE(test::WaitFor([&] { return v6.hasPendingDatagrams(); }));
    EXPECT_EQ(v6.receiveDatagram().data().size(), 65510);
  }
}

// A burst far beyond what the system's default receive buffer holds,
// arriving while the event loop is busy (here: sending it), is read whole.
TEST(UdpPort, ABurstWhileTheLoopIsBusyWaitsInTheReceiveBuffer) {
  std::ifstream most("/proc/sys/net/core/rmem_max");
  int cap = 0;
  if (!(most >> cap) || cap < UdpPort::kReceiveBuffer)
    GTEST_SKIP() << "net.core.rmem_max (" << cap << ") caps the receive buffer below "
                 << UdpPort::kReceiveBuffer;
  size_t got = 0;
  UdpPort port([&](std::string_view, const UdpPort::Peer&) { ++got; });
  ASSERT_TRUE(port.Bind(0, nullptr));
  QUdpSocket sender;
  ASSERT_TRUE(sender.bind(QHostAddress::LocalHost, 0));
  const QByteArray datagram(69, 'x');  // a DC-09 event's size
  constexpr size_t kBurst = 4000;
  for (size_t i = 0; i < kBurst; ++i)
    ASSERT_EQ(sender.writeDatagram(datagram, QHostAddress::LocalHost, port.LocalPort()), 69);
  ASSERT_TRUE(test::WaitFor([&] { return got == kBurst; })) << got << " of " << kBurst;
}

// Replies made inside a batch (as completions make them) are held until the
// outermost batch closes, then leave in the order made, from each port; a
// port that goes away with replies queued leaves the batch.
TEST(UdpPort, RepliesOfABatchLeaveTogetherWhenTheOutermostBatchCloses) {
  std::vector<UdpPort::Peer> peers;
  UdpPort a([&](std::string_view, const UdpPort::Peer& from) { peers.push_back(from); });
  ASSERT_TRUE(a.Bind(0, nullptr));
  auto b = std::make_unique<UdpPort>([](std::string_view, const UdpPort::Peer&) {});
  ASSERT_TRUE(b->Bind(0, nullptr));
  QUdpSocket client;
  ASSERT_TRUE(client.bind(QHostAddress::LocalHost, 0));
  ASSERT_EQ(client.writeDatagram("hello", QHostAddress::LocalHost, a.LocalPort()), 5);
  ASSERT_TRUE(test::WaitFor([&] { return peers.size() == 1; }));
  const UdpPort::Peer to = peers[0];
  {
    SendBatch outer;
    {
      SendBatch inner;
      a.Send("1", to);
      b->Send("lost with its port", to);
    }
    a.Send("2", to);
    b.reset();
    EXPECT_TRUE(SendBatch::Open());
    QCoreApplication::processEvents();
    EXPECT_FALSE(client.hasPendingDatagrams());  // still held
  }
  EXPECT_FALSE(SendBatch::Open());
  std::vector<QByteArray> got;
  ASSERT_TRUE(test::WaitFor([&] {
    while (client.hasPendingDatagrams()) got.push_back(client.receiveDatagram().data());
    return got.size() >= 2;
  }));
  EXPECT_EQ(got, (std::vector<QByteArray>{"1", "2"}));
  a.Send("3", to);  // no batch open: sent at once
  ASSERT_TRUE(test::WaitFor([&] { return client.hasPendingDatagrams(); }));
  EXPECT_EQ(client.receiveDatagram().data(), "3");
}

TEST(UdpPort, APortAlreadyTakenIsRefusedWithTheReason) {
  UdpPort first([](std::string_view, const UdpPort::Peer&) {});
  ASSERT_TRUE(first.Bind(0, nullptr));
  UdpPort second([](std::string_view, const UdpPort::Peer&) {});
  std::string error;
  EXPECT_FALSE(second.Bind(first.LocalPort(), &error));
  EXPECT_FALSE(second.Bound());
  EXPECT_EQ(error, "Address already in use");
}

}  // namespace
}  // namespace quell
