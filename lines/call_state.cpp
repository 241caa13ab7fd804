#include "lines/call_state.h"

#include "core/text.h"
#include "lines/data_call.h"

namespace quell {
namespace {

void CallEnded(TLineGSM& line, const LineContext&) {
  DataCallEnded(line);
}

// Shifts text into the newest of the three history entries.
void ShiftWind(TLineGSM& line, const std::string& text) {
  line.WindHistory[0] = std::move(line.WindHistory[1]);
  line.WindHistory[1] = std::move(line.WindHistory[2]);
  line.WindHistory[2] = text;
}

bool EcavUpdate(TLineGSM& line, const std::string& text, const LineContext& ctx) {
  if (Contains(text, "ECAV: 1,3,")) {
    Transition(line, kActive);
  } else if (Contains(text, "ECAV: 1,0,")) {
    Transition(line, kIdle);
    CallEnded(line, ctx);
  } else if (Contains(text, "ECAV: 1,7,")) {
    Transition(line, kBusy);
    CallEnded(line, ctx);
  } else if (Contains(text, "ECAV: 1,6,")) {
    Transition(line, kRing);
  } else if (Contains(text, "ECAV: 1,2,")) {
    Transition(line, kAlert);
  } else {
    return false;
  }
  return true;
}

bool WindUpdate(TLineGSM& line, const std::string& text, const LineContext& ctx) {
  if (Contains(text, "+WIND: 7") || Contains(text, "+WIND: 4")) {
    CallEnded(line, ctx);
    return true;
  }
  if (!Contains(text, "+WIND:")) return false;
  if (text != line.WindHistory[2]) ShiftWind(line, text);
  if (Contains(text, "+WIND: 5")) {
    Transition(line, kDialling);
  } else if (Contains(text, "+WIND: 2")) {
    Transition(line, kRemoteRinging);
  } else if (Contains(text, "+WIND: 6")) {
    Transition(line, kIdle);
    CallEnded(line, ctx);
  } else if (Contains(text, "+WIND: 8")) {
    Transition(line, kIdleNoNetwork);
    CallEnded(line, ctx);
  } else if (Contains(text, "+WIND: 9") && Contains(CallStateOf(line), kRing)) {
    Transition(line, kActive);
  } else {
    return false;
  }
  return true;
}

bool CaretUpdate(TLineGSM& line, const std::string& text, const LineContext& ctx) {
  if (Contains(text, "^ORIG:")) {
    Transition(line, kDialling);
  } else if (Contains(text, "^CONN:")) {
    Transition(line, kActive);
  } else if (Contains(text, "^CEND:")) {
    Transition(line, Contains(text, "104,17") ? kBusy : kIdle);
    CallEnded(line, ctx);
  } else if (Contains(text, "^RSSI:")) {
    SignalUpdate(line, FieldAt(text, 2, ":"), ctx);
  } else if (Contains(text, "^SRVST:")) {
    ServiceUpdate(line, FieldAt(text, 2, ":"), ctx);
  } else {
    return false;
  }
  return true;
}

}  // namespace

void Transition(TLineGSM& line, const char* state) {
  std::lock_guard g(line.TextLock);
  line.PrevCallState = line.CallState;
  line.CallState = state;
  // A new connected call may need its own arming hang-up.
  if (line.CallState != kActive) line.ArmingHangupSent = false;
}

void ResetCallState(TLineGSM& line) {
  std::lock_guard g(line.TextLock);
  line.PrevCallState = kIdle;
  line.CallState = kIdle;
  line.ArmingHangupSent = false;
}

std::string CallStateOf(const TLineGSM& line) {
  std::lock_guard g(line.TextLock);
  return line.CallState;
}

std::string PrevCallStateOf(const TLineGSM& line) {
  std::lock_guard g(line.TextLock);
  return line.PrevCallState;
}

bool CallStateUpdate(TLineGSM& line, const std::string& text, const LineContext& ctx) {
  if (ctx.trace) ctx.trace->Append(":msstate:  " + text);
  if (Contains(text, "RING")) {
    Transition(line, kRing);
    ShiftWind(line, "RING");
    return true;
  }
  if (Contains(text, "BUSY")) {
    Transition(line, kBusy);
    if (line.LineType == "GSM Selva") CallEnded(line, ctx);
    return true;
  }
  if (Contains(text, "NO CARRIER")) {
    Transition(line, kIdle);
    CallEnded(line, ctx);
    return true;
  }
  // An "ECAV:" or "+WIND:" text that matches none of its family's codes
  // goes on to the "^" codes.
  if (EcavUpdate(line, text, ctx) || WindUpdate(line, text, ctx)) return true;
  return CaretUpdate(line, text, ctx);
}

void SignalUpdate(TLineGSM& line, std::string_view value, const LineContext& ctx) {
  const std::string level = Trim(value);
  if (const auto n = ToInt(level)) line.SignalLevel = *n;
  ServiceUpdate(line, level == "99" ? "0" : "2", ctx);
}

void ServiceUpdate(TLineGSM& line, std::string_view value, const LineContext& ctx) {
  const int old = line.ServiceStatus;
  if (const auto n = ToInt(Trim(value))) line.ServiceStatus = *n;
  const int now = line.ServiceStatus;
  const std::string prefix = "QUELL_LINE_STATUS&" + line.LineName;
  if (old != kInService && now == kInService) {
    if (line.NoticeQueue)
      line.NoticeQueue->Append(NoticeOrigin::LineStatus, prefix + "&SERVICE_ON");
  } else if (old == kInService && now != kInService) {
    if (line.NoticeQueue)
      line.NoticeQueue->Append(NoticeOrigin::LineStatus, prefix + "&SERVICE_OFF");
    if (ctx.sound) ctx.sound->Play();
  }
}

}  // namespace quell
