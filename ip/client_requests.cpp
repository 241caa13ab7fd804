#include "ip/client_requests.h"

#include <algorithm>

#include "core/text.h"
#include "lines/call_state.h"
#include "lines/data_call.h"
#include "lines/modem_engine.h"

namespace quell {
namespace {

bool IsCallerIdLine(const TLineGSM& line) {
  return line.LineType == "GSM XCALL";
}

}  // namespace

ClientRequests::ClientRequests(LineList& lines, TraceView& trace, const Clock& clock)
    : lines_(lines), trace_(trace), clock_(clock) {}

bool ClientRequests::DialableTarget(const std::string& target) {
  return !target.empty() && std::all_of(target.begin(), target.end(), [](char c) {
    return (c >= '0' && c <= '9') || c == '+' || c == '*' || c == '#' || c == ',';
  });
}

void ClientRequests::Handle(const std::string& r, const Reply& reply) {
  if (Contains(r, "selva_object_")) {
    DataCallRequest(r, reply);
    return;
  }
  if (Contains(r, "xcall_object_control") && !DialRequest(r, reply, 1, "XCALL1_LINE_ABSENT|"))
    return;
  if (Contains(r, "xcall_object_state") && !DialRequest(r, reply, 3, "XCALL4_LINE_ABSENT|")) return;
  if (Contains(r, "xcall_object_monitor") && !MonitorRequest(r, reply)) return;
  CallControl(r);
}

bool ClientRequests::DataCallRequest(const std::string& r, const Reply& reply) {
  // Only a refresh or reload to a dialable number makes a call.
  const bool usable = !DataCallRequestWord(r).empty() && DialableTarget(FieldAt(r, 1, ";"));
  if (!usable) trace_.Append("Refused data-call request: " + r);
  for (size_t i = 0; i < lines_.Size() && usable; ++i) {
    TLineGSM* line = lines_.At(i).Line.get();
    if (!line || !DataCallLineFree(*line)) continue;
    trace_.Append(line->LineType);
    quell::DataCallRequest(*line, r, clock_, trace_);
    return true;
  }
  reply(r + ";SELVA_LINE_BUSY|");
  return false;
}

bool ClientRequests::DialRequest(const std::string& r, const Reply& reply, int mode,
                                 const char* absent) {
  const std::string target = FieldAt(r, 1, ";");
  TLineGSM* found = nullptr;
  for (size_t i = 0; i < lines_.Size() && !found; ++i) {
    TLineGSM* line = lines_.At(i).Line.get();
    if (line && IsCallerIdLine(*line) && line->Mode == mode) found = line;
  }
  if (found && !DialableTarget(target)) {
    trace_.Append("Refused dial target: " + target);
    found = nullptr;
  }
  if (!found) {
    reply(r + ";" + absent);
    return false;
  }
  Dial(*found, target);
  return true;
}

bool ClientRequests::MonitorRequest(const std::string& r, const Reply& reply) {
  const std::string target = FieldAt(r, 1, ";");
  if (!DialableTarget(target)) {
    trace_.Append("Refused dial target: " + target);
    reply(r + ";XCALLM_LINE_ABSENT|");
    return false;
  }
  bool present = false;
  TLineGSM* chosen = nullptr;
  std::string lastState;  // stays empty when there are no lines
  for (size_t i = 0; i < lines_.Size(); ++i) {
    TLineGSM* line = lines_.At(i).Line.get();
    if (!line) continue;
    lastState = CallStateOf(*line);
    if (!IsCallerIdLine(*line) || line->Mode != 2 || !line->Alive) continue;
    present = true;
    if (lastState == kIdle) {
      chosen = line;
      break;
    }
  }
  if (!present) {
    reply(r + ";XCALLM_LINE_ABSENT|" + lastState);
    return false;
  }
  if (!chosen) {
    reply(r + ";XCALLM_LINE_ALLBUSY|");
    return false;
  }
  Dial(*chosen, target);
  reply(r + ";XCALLM_LINE|");
  return true;
}

void ClientRequests::CallControl(const std::string& r) {
  TLineGSM* line = lines_.FindByName(FieldAt(r, 1, ";"));
  if (!line) return;
  trace_.Append(line->Commands.Answer);
  trace_.Append(line->LineName);
  if (Contains(r, ";ATH;")) SendCommand(*line, line->Commands.Hangup, clock_);
  if (Contains(r, ";ATA;")) {
    // Stored first: the call's result notice, made on the worker, echoes it.
    {
      std::lock_guard g(line->TextLock);
      line->ConsoleRef = FieldAt(r, 3, ";");
    }
    SendCommand(*line, line->Commands.Answer, clock_);
  }
}

void ClientRequests::Dial(TLineGSM& line, const std::string& target) {
  {
    std::lock_guard g(line.TextLock);
    line.DialTarget = target;
  }
  SendCommand(line, line.Commands.Dial + target + ";", clock_);
}

}  // namespace quell
