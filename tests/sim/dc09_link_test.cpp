#include "sim/dc09/dc09_link.h"

#include <gtest/gtest.h>

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <vector>

#include "sim/dc09/dc09_frame.h"
#include "tests/support/loopback.h"

namespace quell::sim {
namespace {

// A receiver that holds datagrams until `batch` of them wait, then ACKs
// them all: a sender that keeps fewer waiting never gets an answer, one
// that keeps more is caught by the largest hold seen.
class BatchingReceiver {
 public:
  explicit BatchingReceiver(size_t batch) : batch_(batch) {
    socket_.bind(QHostAddress::LocalHost, 0);
    QObject::connect(&socket_, &QUdpSocket::readyRead, &socket_, [this] { Read(); });
  }
  quint16 Port() const { return socket_.localPort(); }
  size_t MostHeld() const { return mostHeld_; }

 private:
  void Read() {
    while (socket_.hasPendingDatagrams()) {
      held_.push_back(socket_.receiveDatagram());
      mostHeld_ = std::max(mostHeld_, held_.size());
    }
    if (held_.size() < batch_) return;
    for (const QNetworkDatagram& d : held_) {
      // LF, CRC, length, then "ADM-CID" and the four-digit sequence.
      const std::string sequence = d.data().mid(9 + 9, 4).toStdString();
      const std::string ack = Dc09Frame("\"ACK\"" + sequence + "L0#1234[]");
      socket_.writeDatagram(ack.data(), qint64(ack.size()), d.senderAddress(),
                            quint16(d.senderPort()));
    }
    held_.clear();
  }

  const size_t batch_;
  QUdpSocket socket_;
  std::vector<QNetworkDatagram> held_;
  size_t mostHeld_ = 0;
};

TEST(Dc09Link, KeepsTheWindowFullAndNoFuller) {
  const struct { uint32_t window, count; } cases[] = {{1, 3}, {4, 12}, {16, 64}};
  for (const auto& c : cases) {
    BatchingReceiver receiver(c.window);
    Dc09Sender sender({}, false, 5000);
    Dc09Link link(sender, QHostAddress::LocalHost, receiver.Port(), c.count, 0, c.window);
    bool done = false;
    link.SetDoneHandler([&] { done = true; });
    std::string error;
    ASSERT_TRUE(link.Start(&error)) << error;
    ASSERT_TRUE(test::WaitFor([&] { return done; })) << "window " << c.window;
    EXPECT_EQ(sender.Counts().ack, c.count) << "window " << c.window;
    EXPECT_EQ(receiver.MostHeld(), c.window);
    EXPECT_GT(link.ElapsedUs(), 0);
  }
}

}  // namespace
}  // namespace quell::sim
