#pragma once
// Runs IP modules over TCP, all at once: one socket per module (a fresh one
// for every connection, so signals of a dropped connection never reach the
// next one), a timer for the modules' timeouts, and a done handler once
// every module has finished.
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "sim/ip/ip_module.h"

class QTcpSocket;

namespace quell::sim {

class IpFleet : public QObject {
 public:
  static constexpr int kTickMs = 20;
  static constexpr int kPacedTickMs = 1;  // with paced modules

  IpFleet(QHostAddress address, uint16_t port, IpStats& stats);
  ~IpFleet() override;

  void Add(IpModuleConfig config);
  void SetDoneHandler(std::function<void()> handler) { onDone_ = std::move(handler); }
  void Start();
  bool Done() const { return finished_ == modules_.size(); }

 private:
  struct Slot {
    IpModule module;
    QTcpSocket* socket = nullptr;
  };

  void Apply(Slot& slot, IpModule::Action action);
  void Drop(Slot& slot);
  void Tick();

  const QHostAddress address_;
  const uint16_t port_;
  IpStats& stats_;
  std::vector<std::unique_ptr<Slot>> modules_;
  size_t finished_ = 0;
  QTimer timer_;
  std::function<void()> onDone_;
};

}  // namespace quell::sim
