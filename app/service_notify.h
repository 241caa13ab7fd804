#pragma once
// Tells systemd how the gateway is doing when it runs as a Type=notify
// service: READY=1 once its listeners are open, WATCHDOG=1 from the main
// event loop at half the watchdog interval, STOPPING=1 on the way out.
// Started any other way (no NOTIFY_SOCKET) it sends nothing.
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

namespace quell {

class ServiceNotify : public QObject {
  Q_OBJECT
 public:
  // send gets one state line ("READY=1"); watchdogUsec is the service
  // manager's watchdog interval, 0 when it expects no pings.
  using Send = std::function<void(const char* state)>;
  ServiceNotify(Send send, uint64_t watchdogUsec, QObject* parent = nullptr);

  // sd_notify to the socket in NOTIFY_SOCKET, the interval from
  // sd_watchdog_enabled (WATCHDOG_USEC, WATCHDOG_PID).
  static std::unique_ptr<ServiceNotify> FromEnvironment(QObject* parent = nullptr);

  // READY=1; the pings start with it, as systemd's watchdog does.
  void Ready();
  // Once; the pings end with it.
  void Stopping();

  // 0 without a watchdog.
  int pingIntervalMs() const { return timer_.isActive() ? timer_.interval() : 0; }

 private:
  Send send_;
  QTimer timer_;
  bool stopping_ = false;
};

}  // namespace quell
