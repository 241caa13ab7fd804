#pragma once
// A GSM alarm panel on the far end of the simulated modem's data calls. Per
// call it sends its frames in turn, each after the previous one's reply (and
// options.frameGapMs), checks every reply's account and crc, and records
// how the gateway ended the call. It hangs up itself after
// options.dropAfter replies, or when options.replyTimeoutMs pass without a
// reply (or, after the closing frame, without the end of the call).
//
// A reply is any line starting "~"; a bad one still moves the script on.
// Other lines are ignored and recorded; one starting "+++" is an escape sent
// without its guard time. Time comes from the modem's clock and timers.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/modem/sim_modem.h"
#include "sim/panel/panel_call.h"
#include "sim/panel/panel_options.h"

namespace quell::sim {

class SimPanel final : public DataPeer {
 public:
  static constexpr size_t kMaxCalls = 64;  // Calls() keeps the newest
  static constexpr size_t kMaxLine = 256;  // longer lines from the gateway are cut there
  static constexpr size_t kMaxLog = 1024;  // Log() keeps the newest

  SimPanel(SimModem& modem, PanelOptions options);

  // The panel calls the gateway: an incoming data call on the modem.
  void CallIn(const std::string& number) { modem_.IncomingDataCall(number); }

  const std::vector<PanelCall>& Calls() const { return calls_; }
  const PanelCall* LastCall() const { return calls_.empty() ? nullptr : &calls_.back(); }
  // Everything reported, one line each ("reply 1 ~1234ABCDEF55 crc ok").
  const std::vector<std::string>& Log() const { return log_; }
  // Also hands each report line to reporter as it happens.
  void SetReporter(std::function<void(const std::string&)> reporter) {
    reporter_ = std::move(reporter);
  }
  const PanelOptions& Options() const { return options_; }

  DataDialOutcome Dialled(const std::string& number) override;
  void Connected(bool gatewayDialled) override;
  void Received(std::string_view bytes) override;
  void Escaped() override;
  void Ended(DataCallEnd end) override;

 private:
  enum class Step { Idle, Gap, AwaitingReply, Closing };

  void ScheduleFrame();  // the next frame after options.frameGapMs
  void SendFrame();
  void TakeLine(const std::string& line);
  void TakeReply(const std::string& line);
  void ArmTimeout();
  void HangUp(const std::string& why);
  void Report(const std::string& line);
  PanelCall& Call() { return calls_.back(); }

  SimModem& modem_;
  const PanelOptions options_;
  std::vector<PanelCall> calls_;
  int callNumber_ = 0;  // of the current or last call, counted from 1
  std::vector<std::string> log_;
  std::function<void(const std::string&)> reporter_;

  Step step_ = Step::Idle;
  size_t nextFrame_ = 0;
  uint64_t frameGen_ = 0;    // a pending frame timer is void once this changes
  uint64_t timeoutGen_ = 0;  // likewise for the reply timeout
  std::string line_;         // a partial line from the gateway
};

// Makes a panel the modem's data peer; the modem owns it.
SimPanel& AttachPanel(SimModem& modem, PanelOptions options);

}  // namespace quell::sim
