#include "lines/xcall.h"

#include <algorithm>

#include "core/text.h"
#include "lines/call_state.h"
#include "lines/data_call.h"
#include "lines/modem_engine.h"
#include "lines/stored_event.h"

namespace quell {
namespace {

void Trace(const LineContext& ctx, std::string text) {
  if (ctx.trace) ctx.trace->Append(std::move(text));
}

void QueueNotice(const TLineGSM& line, NoticeOrigin origin, std::string text) {
  if (line.NoticeQueue) line.NoticeQueue->Append(origin, std::move(text));
}

// The caller number field of a "CLIP:" line: the first quoted field, or
// without quotes the text up to the first comma.
std::string_view NumberField(std::string_view text) {
  const size_t clip = text.find("CLIP:");
  std::string_view rest = clip == std::string_view::npos ? text : text.substr(clip + 5);
  const size_t open = rest.find('"');
  if (open != std::string_view::npos) {
    rest.remove_prefix(open + 1);
    return rest.substr(0, rest.find('"'));
  }
  return rest.substr(0, rest.find(','));
}

}  // namespace

bool ExtractCaller(TLineGSM& line, std::string_view text) {
  line.CallerNumber.clear();
  std::string number(NumberField(text));
  const size_t seven = number.find('7');
  const size_t eight = number.find('8');
  size_t at = seven;
  if (eight != std::string::npos && (seven == std::string::npos || eight < seven)) {
    number[eight] = '7';
    at = eight;
  }
  if (at == std::string::npos) return false;
  // Digits only: a ";" or "|" from the modem would split the client's fields.
  std::string digits = number.substr(at, 11);
  digits.erase(
      std::find_if(digits.begin(), digits.end(), [](char c) { return c < '0' || c > '9'; }),
      digits.end());
  line.CallerNumber = "+" + digits;
  return true;
}

void IncomingCall(TLineGSM& line, std::string_view text, const LineContext& ctx) {
  // The call takes the line: a data-call request still waiting for its own
  // call hears that it failed rather than nothing at all.
  if (DataCallPending(line)) DataCallEnded(line);
  if (ExtractCaller(line, text)) {
    const std::string notice = line.LineName + ";" + line.CallerNumber + ";" + line.LineType + ";" +
                               std::to_string(line.Mode) + ";CRING;";
    QueueNotice(line, NoticeOrigin::CallerIdRing, notice);
    Trace(ctx, notice);
  }
  std::lock_guard g(line.TextLock);
  line.EventMark = "event";
}

std::string KeyByDuration(const TLineGSM& line) {
  const uint32_t ms = TicksSince(line.HangupTick, line.AnswerTick);
  const uint32_t slot = ms / kKeyStepMs;
  return slot < 4 ? line.KeyNames[slot] : "KEY_0";
}

std::string XcallResultWord(const TLineGSM& line, int code) {
  const int kind = line.LastCallKind;
  const bool answered = kind == 1, dialled = kind == 2;
  switch (code) {
    case 1:
      switch (line.Mode) {
        case 0:
        case 1:
          return "XCALL_" + KeyByDuration(line);
        case 2:
          return answered ? "XCALL_" + KeyByDuration(line) : dialled ? "XCALL_MONITOR_YES" : "";
        case 3:
          return answered ? "XCALL_GUARD_ON" : dialled ? "XCALL_COMMAND_YES" : "";
        case 4:
          return "XCALL_GUARD_OFF";
      }
      return "";
    case 2: {
      static const char* const kWords[] = {"", "XCALL_STATE_OFF", "XCALL_MONITOR_YES",
                                           "XCALL_COMMAND_NO", ""};
      return line.Mode >= 0 && line.Mode <= 4 ? kWords[line.Mode] : "";
    }
    case 3: {
      static const char* const kWords[] = {"", "XCALL_STATE_ON", "XCALL_MONITOR_YES",
                                           "XCALL_COMMAND_YES", ""};
      return line.Mode >= 0 && line.Mode <= 4 ? kWords[line.Mode] : "";
    }
    case 4: {
      static const char* const kWords[] = {"", "XCALL_STATE_NOANSWER", "XCALL_MONITOR_NO",
                                           "XCALL_STATE_NOANSWER", ""};
      return line.Mode >= 0 && line.Mode <= 4 ? kWords[line.Mode] : "";
    }
  }
  return "";
}

void XcallEvent(TLineGSM& line, int code, const LineContext& ctx) {
  const std::string word = XcallResultWord(line, code);
  Trace(ctx, word);
  ResetCallState(line);
  std::string consoleRef, dialTarget;
  {
    std::lock_guard g(line.TextLock);
    consoleRef = line.ConsoleRef;
    dialTarget = line.DialTarget;
  }
  const int kind = line.LastCallKind;
  if (kind == 1) {
    std::string notice = line.LineName + ";" + line.CallerNumber + ";" + word + ";" + consoleRef;
    const bool keyCode = line.Mode < 3 && !IsFalse(line.KeyCodes[0]);
    notice += keyCode ? ";CID" + line.KeyCodes[0] + "|;" : std::string(";|");
    // The result of a call has no sender to retry: stored without waiting.
    EventRow row = LineEventRow(line, ctx, "xcall", notice);
    row.peer = line.CallerNumber;
    row.noticeText = notice;
    row.notice = EventFate::Pending;
    const RowKey key = StoreSenderless(ctx, std::move(row));
    QueueForRow(line.NoticeQueue, ctx.noticeLedger,
                keyCode ? NoticeOrigin::CallerIdKeyResult : NoticeOrigin::CallerIdPlainResult,
                notice, key);
  } else if (kind == 2) {
    QueueNotice(line, NoticeOrigin::CallerIdDialledResult,
                line.LineName + ";" + dialTarget + ";" + word + ";|");
  }
}

void ArmingHangup(TLineGSM& line, const LineContext& ctx) {
  if (line.Mode <= 2 || line.ArmingHangupSent) return;
  if (CallStateOf(line) != kActive) return;
  if (TicksSince(ctx.clock->TickCount(), line.AnswerTick) <= kArmingHangupMs) return;
  line.ArmingHangupSent = true;
  SendCommand(line, line.Commands.Hangup, *ctx.clock);
}

void XcallCallRules(TLineGSM& line, const LineContext& ctx) {
  ArmingHangup(line, ctx);
  std::string state = CallStateOf(line), prev = PrevCallStateOf(line);
  if (state == kActive && (prev == kAlert || prev == kDialling)) {
    XcallEvent(line, 3, ctx);
    ResetCallState(line);
    SendCommand(line, line.Commands.Hangup, *ctx.clock);
    state = prev = kIdle;
  }
  if (prev == kActive && state != kActive) {
    line.HangupTick = ctx.clock->TickCount();
    XcallEvent(line, 1, ctx);
    state = CallStateOf(line);
  }
  if (state == kBusy) {
    XcallEvent(line, 2, ctx);
    SendCommand(line, line.Commands.Hangup, *ctx.clock);
    ResetCallState(line);
  }
}

}  // namespace quell
