#include "sim/panel/sim_panel.h"

#include <memory>
#include <utility>

#include "sim/exchange_log.h"
#include "sim/panel/panel_frames.h"

namespace quell::sim {
namespace {

const char* OutcomeName(DataDialOutcome outcome) {
  switch (outcome) {
    case DataDialOutcome::Answer:
      return "answers";
    case DataDialOutcome::Busy:
      return "busy";
    case DataDialOutcome::NoAnswer:
      return "no answer";
    case DataDialOutcome::NoCarrier:
      return "no carrier";
    case DataDialOutcome::NoDialtone:
      return "no dial tone";
    case DataDialOutcome::Error:
      return "error";
  }
  return "?";
}

// What is missing from a proper end of the call.
std::string EndFaults(const PanelCall& call) {
  std::string faults;
  auto add = [&](const char* fault) {
    faults += (faults.empty() ? "" : ", ") + std::string(fault);
  };
  if (!call.closingSent) add("before the closing frame");
  if (call.escapeWithoutGuard) add("\"+++\" came as data");
  if (!call.escapeWithGuard) add("no escape with the guard time");
  if (!call.hangupSeen) add("no ATH");
  return faults;
}

}  // namespace

SimPanel::SimPanel(SimModem& modem, PanelOptions options)
    : modem_(modem), options_(std::move(options)) {}

DataDialOutcome SimPanel::Dialled(const std::string& number) {
  Report("the gateway dials " + number + ": " + OutcomeName(options_.dialOutcome));
  return options_.dialOutcome;
}

void SimPanel::Connected(bool gatewayDialled) {
  if (calls_.size() >= kMaxCalls) calls_.erase(calls_.begin());
  calls_.emplace_back();
  Call().gatewayDialled = gatewayDialled;
  ++callNumber_;
  Report("call " + std::to_string(callNumber_) + " connected" +
         (gatewayDialled ? "" : " (the panel called)"));
  line_.clear();
  nextFrame_ = 0;
  step_ = Step::Gap;
  ScheduleFrame();
  ArmTimeout();
}

void SimPanel::ScheduleFrame() {
  modem_.Schedule(options_.frameGapMs, [this, gen = ++frameGen_] {
    if (gen == frameGen_) SendFrame();
  });
}

void SimPanel::SendFrame() {
  if (step_ != Step::Gap || nextFrame_ >= options_.codes.size()) return;
  const std::string frame =
      FrameText(PanelFrame{options_.h, options_.account, options_.codes[nextFrame_],
                           options_.extension, options_.payload});
  modem_.SendData(frame + "\r\n");
  PanelCall& call = Call();
  ++call.framesSent;
  call.closingSent = ++nextFrame_ == options_.codes.size();
  step_ = call.closingSent ? Step::Closing : Step::AwaitingReply;
  Report("frame " + std::to_string(call.framesSent) + " " + frame +
         (call.closingSent ? " (closing)" : ""));
  ArmTimeout();
}

void SimPanel::Received(std::string_view bytes) {
  for (char c : bytes) {
    if (step_ == Step::Idle) return;  // hung up on an earlier line
    if (c == '\r' || c == '\n') {
      if (!line_.empty()) TakeLine(std::exchange(line_, {}));
    } else if (line_.size() < kMaxLine) {
      line_ += c;
    }
  }
}

void SimPanel::TakeLine(const std::string& line) {
  if (line.front() == '~') return TakeReply(line);
  PanelCall& call = Call();
  if (call.ignored.size() < PanelCall::kMaxKept) call.ignored.push_back(line);
  if (line.starts_with("+++")) {
    call.escapeWithoutGuard = true;
    return Report("ignored \"" + EscapeBytes(line) + "\": an escape without the guard time");
  }
  Report("ignored \"" + EscapeBytes(line) + "\"");
}

void SimPanel::TakeReply(const std::string& line) {
  PanelCall& call = Call();
  const ReplyCheck check = CheckReply(line, options_.h);
  ++call.replyCount;
  if (call.replies.size() < PanelCall::kMaxKept) call.replies.push_back(line);
  if (!check.crcOk) ++call.badCrc;
  if (check.complete && (check.account != options_.account || !check.markerOk)) ++call.badAccount;
  const bool closing = step_ == Step::Closing;
  if (closing) ++call.closingReplies;
  Report("reply " + std::to_string(call.replyCount) + " " + EscapeBytes(line) + " " +
         Verdict(check, options_.account) + (closing ? " (after the closing frame)" : "") +
         (step_ == Step::Gap ? " (not awaited)" : ""));
  if (options_.dropAfter > 0 && call.replyCount >= options_.dropAfter)
    return HangUp("drop after " + std::to_string(call.replyCount) + " replies");
  if (step_ == Step::AwaitingReply) {
    step_ = Step::Gap;
    ScheduleFrame();
  }
  ArmTimeout();
}

void SimPanel::Escaped() {
  if (step_ == Step::Idle) return;
  Call().escapeWithGuard = true;
  Report("escape with the guard time: the modem is in command mode");
  ArmTimeout();  // ATH should follow
}

void SimPanel::Ended(DataCallEnd end) {
  if (step_ == Step::Idle) return;
  step_ = Step::Idle;
  ++frameGen_;
  ++timeoutGen_;
  PanelCall& call = Call();
  call.ended = true;
  call.hangupSeen = end == DataCallEnd::Gateway;
  const char* by = call.hangupSeen    ? "ended by the gateway"
                   : call.panelHungUp ? "ended by the panel"
                                      : "dropped";
  std::string summary = "call " + std::to_string(callNumber_) + " " + by + ": " +
                        std::to_string(call.replyCount) + " replies, " +
                        std::to_string(call.badCrc) + " bad crc, " +
                        std::to_string(call.badAccount) + " bad account; ";
  summary += call.EndedProperly() ? "ended properly" : "not ended properly: " + EndFaults(call);
  Report(summary);
}

void SimPanel::ArmTimeout() {
  modem_.Schedule(options_.replyTimeoutMs, [this, gen = ++timeoutGen_] {
    if (gen != timeoutGen_ || step_ == Step::Idle) return;
    Call().timedOut = true;
    HangUp("nothing from the gateway for " + std::to_string(options_.replyTimeoutMs) + " ms");
  });
}

void SimPanel::HangUp(const std::string& why) {
  Call().panelHungUp = true;
  Report("the panel hangs up: " + why);
  modem_.RemoteHangup();  // comes back through Ended()
}

void SimPanel::Report(const std::string& line) {
  if (log_.size() >= kMaxLog) log_.erase(log_.begin(), log_.begin() + kMaxLog / 2);
  log_.push_back(line);
  if (reporter_) reporter_(line);
}

SimPanel& AttachPanel(SimModem& modem, PanelOptions options) {
  auto panel = std::make_unique<SimPanel>(modem, std::move(options));
  SimPanel& attached = *panel;
  modem.SetDataPeer(std::move(panel));
  return attached;
}

}  // namespace quell::sim
