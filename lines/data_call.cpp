#include "lines/data_call.h"

#include <cstdio>

#include "core/notice_field.h"
#include "core/text.h"
#include "lines/call_state.h"
#include "lines/line_port.h"
#include "lines/modem_engine.h"

namespace quell {
namespace {

struct PanelFrame {
  std::string prefix;       // "~" or "~H"
  std::string account;      // 4 characters
  std::string requestCode;  // "~9216" + code (and the extension of code 75)
};

PanelFrame ParseFrame(const std::string& f) {
  PanelFrame p;
  const size_t h = f.find("~H");
  const size_t at = h != std::string::npos ? h + 2 : f.find('~') + 1;
  p.prefix = h != std::string::npos ? "~H" : "~";
  p.account = f.substr(std::min(at, f.size()), 4);
  std::string code = f.substr(std::min(at + 4, f.size()), 2);
  if (code == "75") code += f.substr(std::min(at + 6, f.size()), 6);
  p.requestCode = ("~9216" + code).substr(0, code.size() > 2 ? 13 : 7);
  return p;
}

// The reply to p from template t: "~" + 4 placeholders + payload + 2
// placeholders, the placeholders replaced by the account and the checksum.
std::string Reply(const PanelFrame& p, const std::string& t) {
  const std::string payload = t.size() > 7 ? t.substr(5, t.size() - 7) : std::string();
  const std::string body = p.prefix.substr(1) + p.account + payload;
  char crc[3];
  std::snprintf(crc, sizeof crc, "%02X", unsigned(Crc8Maxim(body)));
  return "~" + body + crc;
}

std::string EventMarkOf(const TLineGSM& line) {
  std::lock_guard g(line.TextLock);
  return line.EventMark;
}

void SetEventMark(TLineGSM& line, const char* mark) {
  std::lock_guard g(line.TextLock);
  line.EventMark = mark;
}

std::string DialTargetOf(const TLineGSM& line) {
  std::lock_guard g(line.TextLock);
  return line.DialTarget;
}

void QueueNotice(const TLineGSM& line, std::string text) {
  if (line.NoticeQueue) line.NoticeQueue->Append(NoticeOrigin::DataCall, std::move(text));
}

const std::vector<std::string>& Panels(const LineContext& ctx) {
  static const std::vector<std::string> kNone;
  return ctx.panels ? *ctx.panels : kNone;
}

}  // namespace

uint8_t Crc8Maxim(std::string_view bytes) {
  uint8_t crc = 0;
  for (unsigned char b : bytes) {
    for (int i = 0; i < 8; ++i) {
      crc = ((crc ^ b) & 1) ? uint8_t(((crc ^ 0x18) >> 1) | 0x80) : uint8_t(crc >> 1);
      b >>= 1;
    }
  }
  return crc;
}

bool IsDataCallLine(const TLineGSM& line) {
  return line.LineType == "GSM Selva";
}

std::string DataCallRequestWord(std::string_view r) {
  if (Contains(r, "refresh")) return "refresh";
  if (Contains(r, "reload")) return "reload";
  return {};
}

void DataCallRequest(TLineGSM& line, const std::string& r, const Clock& clock, TraceView& trace) {
  trace.Append("slvr " + r);
  const std::string target = FieldAt(r, 1, ";");
  {
    std::lock_guard g(line.TextLock);
    line.DialTarget = target;
    line.EventMark = DataCallRequestWord(r);
  }
  line.PollTick = clock.TickCount() + kDataCallHoldMs;
  SendCommand(line, line.Commands.Dial + target, clock);
}

int DataCallFrame(TLineGSM& line, const std::string& f, const LineContext& ctx) {
  if (line.DataCallStep < 0) return -1;
  if (f.find('~') == std::string::npos) return 0;
  const PanelFrame p = ParseFrame(f);
  const std::string mark = EventMarkOf(line);
  const Clock& clock = *ctx.clock;

  if (line.DataCallStep < 2) {
    for (const std::string& info : Panels(ctx)) {
      if (!Contains(info, mark) || !Contains(FieldAt(info, 1, "#"), p.requestCode)) continue;
      ++line.DataCallStep;
      SendCommand(line, Reply(p, FieldAt(info, 2, "#")), clock);
      return line.DataCallStep;
    }
    return 0;
  }

  const std::string party = mark == "event" ? line.CallerNumber : DialTargetOf(line);
  // A request already given up has had its error notice: no second outcome.
  if (mark != "none")
    // The panel's frame is one field: its separators and control bytes become "_".
    QueueNotice(line, line.LineName + ";" + party + ";" + line.LineType + ";" + NoticeField(f) +
                          ";SELVA_RES|");
  int sent = 0;
  for (const std::string& info : Panels(ctx)) {
    const std::string t = FieldAt(info, 2, "#");
    if (!Contains(info, mark) || !Contains(t, "~921602")) continue;
    SendCommand(line, Reply(p, t), clock);
    ++sent;
  }
  // The modem takes "+++" as the escape only after a silence on our side,
  // so the escape and the hang-up follow from later steps.
  line.EscapeStage = 1;
  line.EscapeTick = clock.TickCount();
  SetEventMark(line, "none");
  line.PollTick = line.PollTick + kAfterCallHoldMs;
  line.DataCallStep = -1;
  return sent > 0 ? 1 : 0;
}

void DataCallEnded(TLineGSM& line) {
  if (!IsDataCallLine(line)) return;
  std::string mark, target;
  {
    std::lock_guard g(line.TextLock);
    mark = line.EventMark;
    target = line.DialTarget;
    line.EventMark = "none";
  }
  if (mark == "refresh")
    QueueNotice(line, line.LineName + ";" + target + ";" + line.LineType + ";SELVA_REFRESH_ERROR|");
  else if (mark == "reload")
    QueueNotice(line, line.LineName + ";" + target + ";" + line.LineType + ";SELVA_RELOAD_ERRORR|");
}

bool DataCallPending(const TLineGSM& line) {
  const std::string mark = EventMarkOf(line);
  return mark == "refresh" || mark == "reload";
}

bool DataCallLineFree(const TLineGSM& line) {
  return IsDataCallLine(line) && line.Started && line.PortOpen && line.EscapeStage == 0 &&
         EventMarkOf(line) == "none" && CallStateOf(line) != kActiveModem;
}

bool DataCallFailureText(std::string_view text) {
  return Contains(text, "NO ANSWER") || Contains(text, "NO DIALTONE");
}

void DataCallEscapeStep(TLineGSM& line, const LineContext& ctx) {
  const int32_t stage = line.EscapeStage;
  if (stage == 0) return;
  const uint32_t now = ctx.clock->TickCount();
  if (TicksSince(now, line.EscapeTick) < (stage == 3 ? kHangupSettleMs : kEscapeGuardMs)) return;
  line.EscapeTick = now;
  if (stage == 1) {
    WriteLine(line, line.Commands.Escape);  // no CR LF: the modem would take it as data
    line.EscapeStage = 2;
  } else if (stage == 2) {
    SendCommand(line, line.Commands.Hangup, *ctx.clock);
    line.EscapeStage = 3;
  } else {
    if (CallStateOf(line) == kActiveModem) Transition(line, kIdle);
    line.EscapeStage = 0;
  }
}

}  // namespace quell
