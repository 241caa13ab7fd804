#include "sim/modem/sim_modem.h"

#include <algorithm>
#include <utility>

#include "sim/modem/at_syntax.h"
#include "sim/modem/call_reports.h"

namespace quell::sim {
namespace {

constexpr const char* kFixedStamp = "26/12/08,14:03:27+12";

// Caller ID type: international (145) with a leading "+", national (129),
// or withheld (128) when there is no number.
int NumberType(const std::string& number) {
  if (number.empty()) return 128;
  return number.front() == '+' ? 145 : 129;
}

// Case-insensitive "AT" at the start of line.
bool HasAttention(std::string_view line) {
  return line.size() >= 2 && (line[0] == 'A' || line[0] == 'a') &&
         (line[1] == 'T' || line[1] == 't');
}

}  // namespace

SimModem::SimModem(ModemOptions options, std::function<uint32_t()> nowMs)
    : options_(std::move(options)),
      nowMs_(std::move(nowMs)),
      echo_(options_.echo),
      signal_(options_.signal) {}

void SimModem::Feed(std::string_view bytes) {
  CheckEscape();  // an escape whose guard time has passed comes before these bytes
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (dataMode_) return FeedData(bytes.substr(i));
    const char c = bytes[i];
    if (c == '\n') continue;
    if (c == '\r') {
      if (std::exchange(overlong_, false)) {
        Emit("ERROR");
      } else {
        HandleLine(line_);
      }
      line_.clear();
    } else if (c == '\b' || c == '\x7f') {
      if (!line_.empty()) line_.pop_back();
    } else if (line_.size() >= kMaxLine) {
      overlong_ = true;
      line_.clear();
    } else if (!overlong_) {
      line_ += c;
    }
  }
}

void SimModem::Poll() {
  const uint32_t now = nowMs_();
  const uint64_t limit = nextSeq_;
  for (;;) {
    // The most overdue timer first; equal ones in the order they were set.
    auto due = timers_.end();
    uint32_t dueBy = 0;
    for (auto t = timers_.begin(); t != timers_.end(); ++t) {
      uint32_t elapsed = now - t->start;
      if (t->seq >= limit || elapsed < t->delay) continue;
      uint32_t by = elapsed - t->delay;
      if (due == timers_.end() || by > dueBy || (by == dueBy && t->seq < due->seq)) {
        due = t;
        dueBy = by;
      }
    }
    if (due == timers_.end()) return;
    std::function<void()> action = std::move(due->action);
    timers_.erase(due);
    action();
  }
}

std::string SimModem::TakeOutput() {
  return std::exchange(output_, {});
}

void SimModem::IncomingCall(const std::string& number) {
  if (phase_ != CallPhase::Idle) return;
  SetPhase(CallPhase::Ringing);
  number_ = number;
  rings_ = 0;
  Ring();
}

void SimModem::RemoteHangup() {
  if (phase_ == CallPhase::Idle) return;
  Emit(dataCall_ ? DataEndLines(options_.family, ConnectedSeconds(), true)
                 : RemoteEndLines(options_.family, ConnectedSeconds()));
  EndCall(DataCallEnd::FarEnd);
}

void SimModem::ReportSignal(int level) {
  signal_ = level;
  if (options_.family == CallFamily::Caret) Emit("^RSSI:" + std::to_string(level));
}

void SimModem::ReportService(int status) {
  if (options_.family == CallFamily::Caret) Emit("^SRVST:" + std::to_string(status));
}

void SimModem::ReceiveSms(const std::string& sender, const std::string& body) {
  int index = sms_.Add(sender, body, options_.smsStamp ? options_.smsStamp() : kFixedStamp);
  if (index > 0) Emit("+CMTI: \"SM\"," + std::to_string(index));
}

void SimModem::Schedule(uint32_t delayMs, std::function<void()> action) {
  if (timers_.size() >= kMaxTimers) return;
  timers_.push_back(Timer{nowMs_(), delayMs, nextSeq_++, std::move(action)});
}

void SimModem::HandleLine(const std::string& line) {
  if (line.empty()) return;
  if (commands_.size() >= kMaxCommands)
    commands_.erase(commands_.begin(), commands_.begin() + kMaxCommands / 2);
  commands_.push_back(line);
  if (echo_) Send(line + "\r");
  std::string_view command = line;
  while (command.starts_with("+++")) command.remove_prefix(3);
  if (HasAttention(command)) Execute(command.substr(2));
}

void SimModem::Execute(std::string_view command) {
  const std::string upper = Upper(command);
  if (upper.empty()) return Emit("OK");
  switch (upper.front()) {
    case 'D':
      return Dial(command.substr(1));
    case '+':
    case '^':
    case '*':
      return ExecuteExtended(upper);
  }
  if (upper == "A") return Answer();
  if (upper == "H" || upper == "H0") return Hangup();
  if (upper == "O" || upper == "O0") return ReturnToData();
  std::optional<BasicSettings> settings = ParseBasicString(upper);
  if (!settings) return Emit("ERROR");
  if (settings->reset) {
    echo_ = options_.echo;
    s0_ = 0;
  }
  if (settings->echo) echo_ = *settings->echo;
  if (settings->s0) s0_ = *settings->s0;
  Emit("OK");
}

void SimModem::ExecuteExtended(const std::string& upper) {
  const size_t eq = upper.find('=');
  const std::string name = upper.substr(0, eq);
  const std::string_view arg =
      eq == std::string::npos ? std::string_view() : std::string_view(upper).substr(eq + 1);
  if (upper == "+CSQ") {
    Emit("+CSQ: " + std::to_string(signal_) + ",99");
    return Emit("OK");
  }
  if (name == "+CMGL") return ListMessages(arg);
  if (name == "+CMGR" && eq != std::string::npos) return ReadMessage(arg);
  if (name == "+CMGD" && eq != std::string::npos) return DeleteMessages(arg);
  bool setForm = eq != std::string::npos && arg != "?";
  Emit(setForm && IsAcceptedSetCommand(name) ? "OK" : "ERROR");
}

void SimModem::Dial(std::string_view target) {
  if (!target.empty() && target.back() != ';') return DialData(target);
  if (target.empty() || !IsDialTarget(target.substr(0, target.size() - 1))) return Emit("ERROR");
  // One call at a time: dialling during another call is refused.
  if (phase_ != CallPhase::Idle) return Emit("ERROR");
  SetPhase(CallPhase::Dialling);
  number_ = std::string(target.substr(0, target.size() - 1));
  Emit(DialStartLines(options_.family));
  ScheduleForCall(options_.dialDelayMs, &SimModem::DialOutcome);
}

void SimModem::DialOutcome() {
  Emit(DialOutcomeLines(options_.family, options_.dialOutcome));
  if (options_.dialOutcome != ModemOptions::DialOutcome::Answer) return SetPhase(CallPhase::Idle);
  SetPhase(CallPhase::Active);
  if (options_.remoteTalkMs > 0) ScheduleForCall(options_.remoteTalkMs, &SimModem::RemoteHangup);
}

void SimModem::Answer() {
  if (phase_ != CallPhase::Ringing) return Emit("NO CARRIER");
  if (dataCall_) return Connect(false);
  Emit("OK");
  Emit(ConnectedLines(options_.family));
  SetPhase(CallPhase::Active);
  if (options_.talkMs > 0) ScheduleForCall(options_.talkMs, &SimModem::RemoteHangup);
}

void SimModem::Hangup() {
  Emit("OK");
  if (phase_ == CallPhase::Idle) return;
  Emit(dataCall_ ? DataEndLines(options_.family, ConnectedSeconds(), false)
                 : LocalEndLines(options_.family, ConnectedSeconds()));
  EndCall(DataCallEnd::Gateway);
}

void SimModem::Ring() {
  if (rings_ >= std::max(options_.ringCount, 1)) return RemoteHangup();  // the caller gives up
  ++rings_;
  Emit("RING");
  Emit("+CLIP: \"" + number_ + "\"," + std::to_string(NumberType(number_)) + ",,,,0");
  if (AnswersAtThisRing()) return Connect(false);
  ScheduleForCall(options_.ringIntervalMs, &SimModem::Ring);
}

void SimModem::ListMessages(std::string_view arg) {
  std::optional<SmsStore::Filter> filter = ParseListFilter(arg);
  if (!filter) return Emit("ERROR");
  EmitBlock(sms_.List(*filter));
  Emit("OK");
}

void SimModem::ReadMessage(std::string_view arg) {
  std::optional<int> index = ParseNumber(arg);
  if (!index) return Emit("ERROR");
  std::optional<std::vector<std::string>> lines = sms_.Read(*index);
  if (!lines) return Emit("+CMS ERROR: 321");  // invalid memory index
  EmitBlock(*lines);
  Emit("OK");
}

void SimModem::DeleteMessages(std::string_view arg) {
  const size_t comma = arg.find(',');
  std::optional<int> index = ParseNumber(arg.substr(0, comma));
  std::optional<int> flag =
      comma == std::string_view::npos ? 0 : ParseNumber(arg.substr(comma + 1));
  if (!index || !flag || *flag > 4) return Emit("ERROR");
  if (*flag == 0) {
    sms_.Delete(*index);
  } else if (*flag == 4) {
    sms_.DeleteAll();
  } else {
    sms_.DeleteRead();  // 1..3 also take sent and unsent ones, which are never stored here
  }
  Emit("OK");
}

void SimModem::Emit(const std::string& line) {
  Send("\r\n" + line + "\r\n");
}

void SimModem::EmitBlock(const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  std::string block = "\r\n";
  for (const std::string& line : lines) block += line + "\r\n";
  Send(block);
}

void SimModem::Send(const std::string& bytes) {
  if (output_.size() + bytes.size() > kMaxOutput) output_.clear();  // overrun: nobody reads
  output_ += bytes;
}

void SimModem::Emit(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) Emit(line);
}

void SimModem::SetPhase(CallPhase phase) {
  if (phase == CallPhase::Active) connectedAt_ = nowMs_();
  if (phase == CallPhase::Idle) dataCall_ = dataMode_ = false;
  phase_ = phase;
  ++phaseGen_;
}

void SimModem::ScheduleForCall(uint32_t delayMs, void (SimModem::*action)()) {
  Schedule(delayMs, [this, action, gen = phaseGen_] {
    if (gen == phaseGen_) (this->*action)();
  });
}

uint32_t SimModem::ConnectedSeconds() const {
  return phase_ == CallPhase::Active ? (nowMs_() - connectedAt_) / 1000 : 0;
}

}  // namespace quell::sim
