#pragma once
// Runs a Dc09Sender over UDP (or one TCP connection, whose replies are cut
// at LF ... CR): sends its datagrams to the gateway with up to
// a window of them waiting for replies, or at a fixed rate, feeds the
// replies back and expires the messages that waited too long.
#include <QHostAddress>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <functional>
#include <string>

#include "sim/dc09/dc09_sender.h"

namespace quell::sim {

class Dc09Link : public QObject {
 public:
  static constexpr int kTickMs = 2;  // pacing and timeout checks

  // rate 0: the next message whenever fewer than window are waiting.
  Dc09Link(Dc09Sender& sender, QHostAddress address, uint16_t port, uint32_t count, double rate,
           uint32_t window = 1, bool tcp = false);

  // Called for every settled message, and once when all were sent and settled.
  void SetResultHandler(std::function<void(const Dc09Result&)> handler) {
    onResult_ = std::move(handler);
  }
  void SetDoneHandler(std::function<void()> handler) { onDone_ = std::move(handler); }

  bool Start(std::string* error);
  // From Start to the last message settled (or to now while running).
  int64_t ElapsedUs() const;

 private:
  void SendOne();
  void TopUp();  // up to the window while counting on replies
  void Tick();
  void ReadReplies();
  void ReadStream();
  void Settled(const Dc09Result& result);
  void CheckDone();

  Dc09Sender& sender_;
  const QHostAddress address_;
  const uint16_t port_;
  const uint32_t count_;
  const double rate_;
  const uint32_t window_;
  const bool tcp_;
  QUdpSocket socket_;
  QTcpSocket stream_;
  std::string streamPending_;  // reply bytes from an LF on, no CR yet
  QTimer timer_;
  int64_t startUs_ = 0;
  int64_t doneUs_ = 0;
  uint32_t sent_ = 0;
  bool done_ = false;
  std::function<void(const Dc09Result&)> onResult_;
  std::function<void()> onDone_;
};

}  // namespace quell::sim
