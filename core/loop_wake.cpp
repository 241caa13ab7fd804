#include "core/loop_wake.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace quell {

LoopWake::LoopWake(QObject* context, std::function<void()> onWake)
    : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), onWake_(std::move(onWake)) {
  if (fd_ < 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read, context);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
    uint64_t count = 0;
    if (::read(fd_, &count, sizeof count) < 0) {
      // Nothing to read: another turn already took the count.
    }
    onWake_();
  });
}

LoopWake::~LoopWake() {
  notifier_.reset();
  if (fd_ >= 0) ::close(fd_);
}

void LoopWake::Wake() const {
  if (fd_ < 0) return;
  const uint64_t one = 1;
  if (::write(fd_, &one, sizeof one) < 0) {
    // The counter is full: the loop is woken already.
  }
}

}  // namespace quell
