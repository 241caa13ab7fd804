#include "app/service_notify.h"

#include <systemd/sd-daemon.h>

#include <algorithm>

namespace quell {

ServiceNotify::ServiceNotify(Send send, uint64_t watchdogUsec, QObject* parent)
    : QObject(parent), send_(std::move(send)) {
  if (watchdogUsec == 0) return;
  // Half the interval, as sd_watchdog_enabled(3) advises: one late tick of
  // a busy loop does not get the gateway killed.
  timer_.setInterval(int(std::clamp<uint64_t>(watchdogUsec / 2000, 1, 3600 * 1000)));
  connect(&timer_, &QTimer::timeout, this, [this] { send_("WATCHDOG=1"); });
}

std::unique_ptr<ServiceNotify> ServiceNotify::FromEnvironment(QObject* parent) {
  uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) <= 0) usec = 0;
  // The environment stays: every ping reads NOTIFY_SOCKET again.
  return std::make_unique<ServiceNotify>([](const char* state) { sd_notify(0, state); }, usec,
                                         parent);
}

void ServiceNotify::Ready() {
  if (stopping_) return;
  send_("READY=1");
  if (timer_.interval() > 0) timer_.start();  // a timer without interval: no watchdog
}

void ServiceNotify::Stopping() {
  if (stopping_) return;
  stopping_ = true;
  timer_.stop();
  send_("STOPPING=1");
}

}  // namespace quell
