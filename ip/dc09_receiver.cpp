#include "ip/dc09_receiver.h"

#include <QNetworkDatagram>
#include <QNetworkProxy>

#include "core/text.h"
#include "core/wire.h"
#include "ip/client_access.h"
#include "ip/dc09_frames.h"
#include "ip/event_delivery.h"

namespace quell {

Dc09Receiver::Dc09Receiver(Clock& clock, Journal& journal, TraceView& trace, ConsoleOutput& output,
                           ConsoleDevice& device, const IpModuleSettings& settings,
                           const PortSettings& ports, ClientFeed& clients, AdmCidParser& parser)
    : clock_(clock),
      journal_(journal),
      trace_(trace),
      output_(output),
      device_(device),
      settings_(settings),
      ports_(ports),
      clients_(clients),
      parser_(parser),
      startTick_(clock.TickCount()) {
  // Datagrams from modules on the station's network never go through a
  // proxy; asking the system for one would also start a lookup thread.
  socket_.setProxy(QNetworkProxy::NoProxy);
  QObject::connect(&socket_, &QUdpSocket::readyRead, &socket_, [this] { ReadPending(); });
}

bool Dc09Receiver::Listen() {
  if (Listening()) return true;
  if (socket_.bind(QHostAddress::Any, quint16(ports_.sia), QAbstractSocket::DontShareAddress))
    return true;
  trace_.Append("Listen " + std::to_string(ports_.sia) + ": " +
                socket_.errorString().toStdString());
  return false;
}

void Dc09Receiver::ReadPending() {
  while (socket_.hasPendingDatagrams()) {
    const QNetworkDatagram d = socket_.receiveDatagram();
    if (!d.isValid()) continue;
    const QHostAddress to = d.senderAddress();
    // Dropped before its trace, journal line or parse.
    if (access_ && access_->RefusesDatagram(AccessGroup::Modules, to, Port())) continue;
    const quint16 port = quint16(d.senderPort());
    const QByteArray data = d.data();
    Handle(std::string(data.constData(), size_t(data.size())), [&](const std::string& bytes) {
      socket_.writeDatagram(bytes.data(), qint64(bytes.size()), to, port);
    });
  }
}

void Dc09Receiver::Handle(const std::string& t, const Reply& reply) {
  trace_.Append(" udp  : " + t);
  // With the standard receiver on, a frame (it starts with LF) may hold
  // "REQ" in its data; only a bare probe gets the probe's answer.
  if (Contains(t, "REQ") && !(standard_ && StartsWith(t, "\n"))) {
    // The probe's answer: how long this receiver has been up, in seconds.
    reply(std::to_string(TicksSince(clock_.TickCount(), startTick_) / 1000));
    reply(std::string(1, kCR));
    output_.ResetIdle(IpListener::P8097);
    return;
  }
  JournalIpMessage(journal_, clock_, t);
  if (standard_) {
    standard_(t, reply);
    return;
  }
  const std::string relay = Dc09RelayText(t);
  if (IsFalse(relay)) return;  // no "#", or fewer than three "#" fields
  trace_.Append("udo->mlr0:");
  const std::string echo = Dc09HeaderEcho(t);
  const std::string timestamp = Dc09Timestamp(t);
  trace_.Append("udo->mlr:" + relay);
  const std::string r = parser_.Parse(relay);
  const std::string nack = Dc09NackFrame(timestamp);
  const std::string ack = Dc09AckFrame(echo);
  trace_.Append("udo->ack:" + ack);
  trace_.Append("udo->crc:" + ack.substr(1, 4));

  if (IsFalse(r)) {
    if (clients_.WardexClientCount() > 0) reply(nack);
    if (device_.PortOpen()) device_.Write(kTroubleLine);
  } else if (!Contains(r, "@")) {
    reply(ack);
    // A periodic test report is acknowledged and goes no further.
    if (Pos("E602", r) > 1) return;
    ForwardDc09Event(clients_, output_, device_, trace_, settings_.storeOffline, r);
  }
  output_.ResetIdle(IpListener::P8097);
}

}  // namespace quell
