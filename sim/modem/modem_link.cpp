#include "sim/modem/modem_link.h"

#include <chrono>

namespace quell::sim {
namespace {

uint32_t SteadyMs() {
  using namespace std::chrono;
  return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

ModemLink::ModemLink(ModemOptions options, std::function<uint32_t()> nowMs, QObject* parent)
    : QObject(parent), modem_(std::move(options), nowMs ? std::move(nowMs) : SteadyMs) {
  endpoint_.SetReceiver([this](std::string_view bytes) { Received(bytes); });
  timer_.setInterval(kPollMs);
  connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
}

bool ModemLink::OpenPty(std::string* error) {
  if (!endpoint_.OpenPty(error)) return false;
  timer_.start();
  return true;
}

bool ModemLink::OpenDevice(const std::string& path, std::string* error) {
  if (!endpoint_.OpenDevice(path, error)) return false;
  timer_.start();
  return true;
}

bool ModemLink::CreateLink(const std::string& linkPath, std::string* error) {
  return link_.Create(linkPath, DevicePath(), error);
}

void ModemLink::Received(std::string_view bytes) {
  if (traffic_) traffic_(true, bytes);
  modem_.Feed(bytes);
  if (!up_ && !modem_.Commands().empty()) {
    up_ = true;
    if (lineUp_) lineUp_();
  }
  FlushOutput();
}

void ModemLink::Tick() {
  endpoint_.Service();
  modem_.Poll();
  FlushOutput();
}

void ModemLink::FlushOutput() {
  if (!modem_.HasOutput()) return;
  const std::string out = modem_.TakeOutput();
  if (endpoint_.Send(out) && traffic_) traffic_(false, out);
}

}  // namespace quell::sim
