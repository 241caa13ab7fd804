#include "sim/modem/sim_modem_port.h"

#include <utility>

namespace quell::sim {

SimModemPort::SimModemPort(ModemOptions options, std::function<uint32_t()> nowMs)
    : modem_(std::move(options), std::move(nowMs)) {}

int SimModemPort::Write(std::string_view bytes) {
  std::lock_guard g(lock_);
  if (!open_) return 0;
  modem_.Feed(bytes);
  return int(bytes.size());
}

int SimModemPort::ReadByte(uint8_t& byte) {
  std::lock_guard g(lock_);
  if (!open_) return -1;
  if (interrupted_) return 0;
  PollLocked();
  if (readAt_ == pending_.size()) return 0;
  byte = uint8_t(pending_[readAt_++]);
  return 1;
}

int SimModemPort::InputQueueCount() {
  std::lock_guard g(lock_);
  if (!open_) return -1;
  PollLocked();
  return int(pending_.size() - readAt_);
}

PortWait SimModemPort::WaitForEvent(int /*timeoutMs*/) {
  std::lock_guard g(lock_);
  if (!open_) return PortWait::Failed;
  if (interrupted_) return PortWait::Interrupted;
  PollLocked();
  return readAt_ < pending_.size() ? PortWait::Data : PortWait::Timeout;
}

void SimModemPort::Interrupt() {
  std::lock_guard g(lock_);
  interrupted_ = true;
}

void SimModemPort::ClearInterrupt() {
  std::lock_guard g(lock_);
  interrupted_ = false;
}

void SimModemPort::Close() {
  std::lock_guard g(lock_);
  open_ = false;
}

bool SimModemPort::IsOpen() const {
  std::lock_guard g(lock_);
  return open_;
}

void SimModemPort::PollLocked() {
  modem_.Poll();
  if (!modem_.HasOutput()) return;
  pending_.erase(0, std::exchange(readAt_, 0));
  if (pending_.size() > SimModem::kMaxOutput) pending_.clear();  // overrun: nobody reads
  pending_ += modem_.TakeOutput();
}

}  // namespace quell::sim
