// SimModem's data calls: dialling and answering them, data mode, the
// guarded escape back to command mode.
#include "sim/modem/at_syntax.h"
#include "sim/modem/call_reports.h"
#include "sim/modem/sim_modem.h"

namespace quell::sim {
namespace {

constexpr const char* kDataConnect = "CONNECT 9600";

}  // namespace

void SimModem::IncomingDataCall(const std::string& number) {
  if (phase_ != CallPhase::Idle) return;
  dataCall_ = true;  // before the first ring, which may answer it already
  IncomingCall(number);
}

void SimModem::SendData(std::string_view bytes) {
  if (dataMode_) Send(std::string(bytes));
}

void SimModem::DialData(std::string_view target) {
  if (!peer_ || !IsDialTarget(target) || phase_ != CallPhase::Idle) return Emit("ERROR");
  dataOutcome_ = peer_->Dialled(std::string(target));
  if (dataOutcome_ == DataDialOutcome::Error) return Emit("ERROR");
  SetPhase(CallPhase::Dialling);
  number_ = std::string(target);
  dataCall_ = true;
  ScheduleForCall(options_.dialDelayMs, &SimModem::DataDialDecided);
}

void SimModem::DataDialDecided() {
  if (dataOutcome_ == DataDialOutcome::Answer) return Connect(true);
  Emit(DataDialResult(dataOutcome_));
  SetPhase(CallPhase::Idle);
}

void SimModem::Connect(bool gatewayDialled) {
  SetPhase(CallPhase::Active);
  dataCall_ = true;
  EnterDataMode();
  if (peer_) peer_->Connected(gatewayDialled);
}

void SimModem::ReturnToData() {
  if (!dataCall_ || phase_ != CallPhase::Active) return Emit("NO CARRIER");
  EnterDataMode();
}

void SimModem::EnterDataMode() {
  Emit(kDataConnect);
  dataMode_ = true;
  escape_.Reset(nowMs_());
}

void SimModem::FeedData(std::string_view bytes) {
  const std::string data = escape_.Feed(bytes, nowMs_());
  // Held "+" bytes are looked at again once the guard time has passed.
  if (escape_.Holding()) ScheduleForCall(EscapeDetector::kGuardMs, &SimModem::CheckEscape);
  if (!data.empty() && peer_) peer_->Received(data);
}

void SimModem::CheckEscape() {
  if (!dataMode_) return;
  const uint32_t now = nowMs_();
  if (escape_.EscapeDue(now)) {
    dataMode_ = false;
    escape_.Reset(now);
    Emit("OK");
    if (peer_) peer_->Escaped();
    return;
  }
  const std::string stale = escape_.TakeStale(now);
  if (!stale.empty() && peer_) peer_->Received(stale);
}

bool SimModem::AnswersAtThisRing() const {
  if (!dataCall_ || phase_ != CallPhase::Ringing) return false;
  const int ring = s0_ > 0 ? s0_ : options_.autoAnswerData ? 1 : 0;
  return ring > 0 && rings_ == ring;
}

void SimModem::EndCall(DataCallEnd end) {
  const bool connectedData = dataCall_ && phase_ == CallPhase::Active;
  SetPhase(CallPhase::Idle);
  if (connectedData && peer_) peer_->Ended(end);
}

}  // namespace quell::sim
