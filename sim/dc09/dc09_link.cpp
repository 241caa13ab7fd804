#include "sim/dc09/dc09_link.h"

#include <QNetworkProxy>
#include <algorithm>
#include <cmath>
#include <vector>

#include "sim/dc09/dc09_frame.h"
#include "sim/steady_clock.h"

namespace quell::sim {

Dc09Link::Dc09Link(Dc09Sender& sender, QHostAddress address, uint16_t port, uint32_t count,
                   double rate, uint32_t window, bool tcp)
    : sender_(sender),
      address_(std::move(address)),
      port_(port),
      count_(count),
      rate_(rate),
      window_(std::max<uint32_t>(window, 1)),
      tcp_(tcp) {
  // The gateway is talked to directly: no system proxy is looked up.
  socket_.setProxy(QNetworkProxy::NoProxy);
  stream_.setProxy(QNetworkProxy::NoProxy);
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(kTickMs);
  connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
  connect(&socket_, &QUdpSocket::readyRead, this, [this] { ReadReplies(); });
  connect(&stream_, &QTcpSocket::readyRead, this, [this] { ReadStream(); });
}

bool Dc09Link::Start(std::string* error) {
  if (tcp_) {
    stream_.connectToHost(address_, port_);
    if (!stream_.waitForConnected(5000)) {
      *error = "TCP connection: " + stream_.errorString().toStdString();
      return false;
    }
  }
  const QHostAddress any = address_.protocol() == QAbstractSocket::IPv6Protocol
                               ? QHostAddress::AnyIPv6
                               : QHostAddress::AnyIPv4;
  if (!socket_.bind(any, 0)) {
    *error = "UDP socket: " + socket_.errorString().toStdString();
    return false;
  }
  startUs_ = SteadyMicros();
  timer_.start();
  SendOne();
  TopUp();
  return true;
}

int64_t Dc09Link::ElapsedUs() const {
  return (done_ ? doneUs_ : SteadyMicros()) - startUs_;
}

void Dc09Link::TopUp() {
  if (rate_ > 0) return;
  while (sent_ < count_ && sender_.Waiting() < window_) SendOne();
}

void Dc09Link::SendOne() {
  const std::string datagram = sender_.Next(QDateTime::currentDateTimeUtc(), SteadyMicros());
  ++sent_;
  // A datagram the system refuses is simply never answered: it times out.
  if (tcp_)
    stream_.write(datagram.data(), qint64(datagram.size()));
  else
    socket_.writeDatagram(datagram.data(), qint64(datagram.size()), address_, port_);
}

void Dc09Link::Tick() {
  for (const Dc09Result& result : sender_.Expire(SteadyMicros())) Settled(result);
  if (rate_ > 0) {
    const double elapsedS = double(SteadyMicros() - startUs_) / 1e6;
    const auto due = uint32_t(std::min(double(count_), std::floor(elapsedS * rate_) + 1));
    while (sent_ < due) SendOne();
  }
  CheckDone();
}

void Dc09Link::ReadReplies() {
  // Replies are read into one buffer, without a datagram object and the
  // sender's address for each: the link only ever talks to the gateway.
  static thread_local std::vector<char> buffer(65536);
  while (socket_.hasPendingDatagrams()) {
    const qint64 n = socket_.readDatagram(buffer.data(), qint64(buffer.size()));
    if (n < 0) break;
    const auto result = sender_.Receive(std::string_view(buffer.data(), size_t(n)), SteadyMicros());
    if (result) Settled(*result);
  }
  CheckDone();
}

void Dc09Link::ReadStream() {
  streamPending_ += stream_.readAll().toStdString();
  size_t start = 0;
  for (;;) {
    const size_t lf = streamPending_.find('\n', start);
    if (lf == std::string::npos) {
      start = streamPending_.size();
      break;
    }
    // The reply's CR comes after its opening quote (a raw CRC byte may be a
    // CR): the 10 bytes after the LF tell where the quote is.
    if (streamPending_.size() - lf < 11) {
      start = lf;
      break;
    }
    const size_t cr = streamPending_.find(
        '\r', lf + Dc09ReplyCrFrom(std::string_view(streamPending_).substr(lf)));
    if (cr == std::string::npos) {
      start = lf;
      break;
    }
    const auto result =
        sender_.Receive(std::string_view(streamPending_).substr(lf, cr + 1 - lf), SteadyMicros());
    if (result) Settled(*result);
    start = cr + 1;
  }
  streamPending_.erase(0, start);
  CheckDone();
}

void Dc09Link::Settled(const Dc09Result& result) {
  if (onResult_) onResult_(result);
  TopUp();
}

void Dc09Link::CheckDone() {
  if (done_ || sent_ < count_ || sender_.Waiting() > 0) return;
  done_ = true;
  doneUs_ = SteadyMicros();
  timer_.stop();
  if (onDone_) onDone_();
}

}  // namespace quell::sim
