#include "sim/ip/ip_fleet.h"

#include <QTcpSocket>

#include "sim/steady_clock.h"

namespace quell::sim {

IpFleet::IpFleet(QHostAddress address, uint16_t port, IpStats& stats)
    : address_(std::move(address)), port_(port), stats_(stats) {
  timer_.setInterval(kTickMs);
  connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
}

IpFleet::~IpFleet() {
  for (auto& slot : modules_) Drop(*slot);
}

void IpFleet::Add(IpModuleConfig config) {
  if (config.periodUs > 0) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kPacedTickMs);
  }
  modules_.push_back(std::make_unique<Slot>(Slot{IpModule(std::move(config), stats_)}));
}

void IpFleet::Start() {
  timer_.start();
  for (auto& slot : modules_) Apply(*slot, slot->module.Start(SteadyMicros()));
}

void IpFleet::Apply(Slot& slot, IpModule::Action action) {
  using Kind = IpModule::Action::Kind;
  switch (action.kind) {
    case Kind::None:
      return;
    case Kind::Send:
      slot.socket->write(action.bytes.data(), qint64(action.bytes.size()));
      return;
    case Kind::Finish:
      Drop(slot);
      if (++finished_ == modules_.size() && onDone_) onDone_();
      return;
    case Kind::Connect:
      break;
  }
  Drop(slot);
  auto* socket = new QTcpSocket(this);
  slot.socket = socket;
  Slot* s = &slot;
  connect(socket, &QTcpSocket::connected, this,
          [this, s] { Apply(*s, s->module.Connected(SteadyMicros())); });
  connect(socket, &QTcpSocket::readyRead, this, [this, s, socket] {
    const QByteArray bytes = socket->readAll();
    Apply(*s, s->module.Received(std::string_view(bytes.constData(), size_t(bytes.size())),
                                 SteadyMicros()));
  });
  // A refused connect, a reset and the gateway closing all end here (the
  // module ignores the second of error and disconnected).
  auto lost = [this, s] { Apply(*s, s->module.ConnectionLost(SteadyMicros())); };
  connect(socket, &QTcpSocket::errorOccurred, this, lost);
  connect(socket, &QTcpSocket::disconnected, this, lost);
  socket->connectToHost(address_, port_);
}

void IpFleet::Drop(Slot& slot) {
  if (!slot.socket) return;
  slot.socket->disconnect(this);
  slot.socket->abort();
  slot.socket->deleteLater();
  slot.socket = nullptr;
}

void IpFleet::Tick() {
  const int64_t now = SteadyMicros();
  for (auto& slot : modules_) Apply(*slot, slot->module.Tick(now));
  if (Done()) timer_.stop();
}

}  // namespace quell::sim
