#include "lines/modem_engine.h"

#include "core/text.h"
#include "lines/call_state.h"
#include "lines/data_call.h"
#include "lines/line_port.h"
#include "lines/receiver_steps.h"
#include "lines/worker.h"
#include "lines/xcall.h"

namespace quell {
namespace {

constexpr int kErrorResultEntry = 10;
constexpr int kOkResultEntry = 11;

void AppendTag(TLineGSM& line, const char* suffix) {
  if (line.ProcTag.size() < kMaxProcTag) line.ProcTag += suffix;
}

// ProcTag and the time of day into a message entry.
void WriteResult(TLineGSM& line, int entry, const Clock& clock) {
  std::string text = line.ProcTag + "  " + LongTime(clock.Now());
  std::lock_guard g(line.TextLock);
  line.Messages.Entry(entry) = std::move(text);
}

void Trace(const LineContext& ctx, std::string text) {
  if (ctx.trace) ctx.trace->Append(std::move(text));
}

bool IsCallerIdLine(const TLineGSM& line) {
  return line.LineType == "GSM XCALL";
}

// The hang-up patterns of the "+WIND" history on an "OK" line.
void WindPatternsOnOk(TLineGSM& line, const LineContext& ctx) {
  auto& h = line.WindHistory;
  if (Contains(h[0], "+WIND: 5") && Contains(h[2], "+WIND: 2")) {
    SendCommand(line, line.Commands.Hangup, *ctx.clock);
    h[0].clear();
    XcallEvent(line, 3, ctx);
    Transition(line, kIdle);
  }
  if (Contains(h[1], "+WIND: 2") && Contains(h[2], "+WIND: 9")) {
    SendCommand(line, line.Commands.Hangup, *ctx.clock);
    h[1].clear();
    XcallEvent(line, 3, ctx);
    Transition(line, kIdle);
  }
}

// A caller-identification line holds the cycle off for the usual interval
// from now; a longer hold already set stays.
void HoldOffForCall(TLineGSM& line, uint32_t now) {
  if (int32_t(line.PollTick.load() - now) < 0) line.PollTick = now;
}

}  // namespace

void SendCommand(TLineGSM& line, const std::string& text, const Clock& clock) {
  line.OkSeen = false;
  line.ErrorSeen = false;
  WriteLine(line, text + "\r\n");
  const uint32_t now = clock.TickCount();
  if (Contains(text, line.Commands.Hangup)) line.HangupTick = now;
  if (Contains(text, line.Commands.Answer)) {
    line.AnswerTick = now;
    line.LastCallKind = 1;
  }
  if (Contains(text, line.Commands.Dial)) line.LastCallKind = 2;
}

void SendProcedure(TLineGSM& line, const std::string& text, int periodMs, const std::string& tag,
                   const Clock& clock) {
  line.ReplyReceived = false;
  line.ReplyCountdown = kReplyCountdown;
  SetStepPeriod(line, periodMs);
  line.ProcTag = tag;
  SendCommand(line, text, clock);
}

void InitCycle(TLineGSM& line, const Clock& clock) {
  const uint32_t now = clock.TickCount();
  // Signed, so a PollTick moved into the future holds the cycle back.
  const int32_t since = int32_t(now - line.PollTick.load());
  if (since < (line.Alive ? kAlivePollMs : kQuietPollMs)) return;
  line.PollTick = now;
  // A data-call request still pending is given up: its client hears so.
  if (IsDataCallLine(line)) DataCallEnded(line);
  {
    std::lock_guard g(line.TextLock);
    line.EventMark = "none";
  }
  if (line.InitStep == 3) line.InitStep = 0;
  const TATCMD& c = line.Commands;
  switch (line.InitStep) {
    case 2:
      SendProcedure(line, c.InitStr2, kProcedureStepMs, "INISTR2_SEND", clock);
      line.InitStep = 3;
      break;
    case 1:
      SendProcedure(line, c.InitStr1, kProcedureStepMs, "INISTR1_SEND", clock);
      line.InitStep = 2;
      break;
    case 0:
      SendProcedure(line, c.InitStr, kProcedureStepMs, "INISTR_SEND", clock);
      line.InitStep = 1;
      break;
  }
}

void PrepareModemStart(TLineGSM& line, uint32_t nowTick) {
  line.PollTick = DueNow(nowTick);
  line.ReplyReceived = true;
  line.ReplyCountdown = kReplyCountdown;
}

void ModemStep(TLineGSM& line, const LineContext& ctx) {
  const Clock& clock = *ctx.clock;
  if (!line.ReplyReceived) {
    if (line.ReplyCountdown > 0) {
      --line.ReplyCountdown;
    } else {
      line.ReplyReceived = true;
      AppendTag(line, "_ERROR_TIMEOUT");
      line.ReplyCountdown = kReplyCountdown;
      WriteResult(line, kErrorResultEntry, clock);
    }
  }

  line.RxBuffer.clear();
  if (InputQueueCount(line) > 0) {
    // Reads until the modem has been silent for one read timeout. An
    // overlong response is dropped up to its end byte.
    bool overlong = false;
    for (;;) {
      line.RxByte = 0;
      if (!ReadLineByte(line)) break;
      if (static_cast<int8_t>(line.RxByte) > 21) line.RxBuffer.push_back(char(line.RxByte));
      if (line.RxByte == uint8_t(line.Settings.EvChar)) {
        if (overlong) {
          overlong = false;
          line.RxBuffer.clear();
        } else if (!line.RxBuffer.empty() && !ProcessModemLine(line, ctx)) {
          return;
        }
      } else if (line.RxBuffer.size() > kMaxModemLine) {
        if (!overlong)
          Trace(ctx, line.LineName + ": response longer than " + std::to_string(kMaxModemLine) +
                         " bytes dropped");
        overlong = true;
        line.RxBuffer.clear();
      }
    }
  }

  InitCycle(line, clock);
  if (IsCallerIdLine(line)) ArmingHangup(line, ctx);
  if (IsDataCallLine(line)) DataCallEscapeStep(line, ctx);
  if (TicksSince(clock.TickCount(), line.LastRxTick) > kModemSilenceMs) line.Alive = false;
}

bool ProcessModemLine(TLineGSM& line, const LineContext& ctx) {
  const Clock& clock = *ctx.clock;
  const uint32_t now = clock.TickCount();
  line.LineHandled = false;
  line.Alive = true;
  line.LastRxTick = now;
  line.RxBuffer = Upper(line.RxBuffer);
  const std::string text = line.RxBuffer;

  if (Contains(text, "CLIP:")) {
    HoldOffForCall(line, now);
    line.LineHandled = true;
    IncomingCall(line, text, ctx);
  }
  if (IsDataCallLine(line) && CallStateOf(line) == kActiveModem) DataCallFrame(line, text, ctx);
  if (Contains(text, "CONNECT 9600")) {
    line.LineHandled = true;
    if (!IsDataCallLine(line)) {
      SendCommand(line, line.Commands.Hangup, clock);
      return false;
    }
    {
      std::lock_guard g(line.TextLock);
      line.CallState = kActiveModem;
    }
    line.DataCallStep = 0;
    line.EscapeStage = 0;
    // No initialisation command may go into the data call.
    if (int32_t(line.PollTick.load() - (now + kDataCallHoldMs)) < 0)
      line.PollTick = now + kDataCallHoldMs;
  }
  if (Contains(text, "OK")) {
    line.OkSeen = true;
    AppendTag(line, "_OK");
    line.ReplyReceived = true;
    line.Alive = true;
    WriteResult(line, kOkResultEntry, clock);
    line.LineHandled = true;
    if (IsCallerIdLine(line)) WindPatternsOnOk(line, ctx);
  }
  if (IsCallerIdLine(line) && Contains(line.WindHistory[1], "+WIND: 5") &&
      Contains(text, "+WIND: 6")) {
    line.WindHistory[1].clear();
    XcallEvent(line, 4, ctx);
  }
  if (line.SmsPending) SmsEvent(line, text, ctx);
  line.SmsPending = false;
  if (Contains(text, "CMGL:")) line.SmsPending = true;
  // During a data call the text is the panel's, and no command may go into
  // the call: the hold stays.
  if (Contains(text, "CMTI:") && CallStateOf(line) != kActiveModem) line.PollTick = DueNow(now);
  if (Contains(text, "ERROR")) {
    line.ErrorSeen = true;
    AppendTag(line, "_ERROR");
    line.ReplyReceived = true;
    WriteResult(line, kErrorResultEntry, clock);
    line.LineHandled = true;
    // The dial of a data-call request refused by the modem.
    if (IsDataCallLine(line) && CallStateOf(line) != kActiveModem && DataCallPending(line))
      DataCallEnded(line);
  }
  if (IsDataCallLine(line) && DataCallFailureText(text)) DataCallEnded(line);
  if (!line.LineHandled) {
    line.LineHandled = CallStateUpdate(line, text, ctx);
    if (IsCallerIdLine(line)) XcallCallRules(line, ctx);
  }
  line.LastLine = text;
  line.RxBuffer.clear();
  return true;
}

}  // namespace quell
