#include "lines/port_recovery.h"

#include "lines/line.h"
#include "lines/line_port.h"
#include "lines/serial_port.h"

namespace quell {

namespace {

bool NeedsPort(const TLineGSM& line) {
  if (!line.Started) return false;
  const std::shared_ptr<SerialPort> port = LinePort(line);
  return !port || port->HungUp();
}

}  // namespace

int PortRecovery::Tick(LineList& lines, const PortNames& names, const Clock& clock,
                       TraceView* trace) {
  const uint32_t now = clock.TickCount();
  int opened = 0;
  std::unordered_map<const TLineGSM*, Attempt> still;
  for (size_t i = 0; i < lines.Size(); ++i) {
    TLineGSM* line = lines.At(i).Line.get();
    if (!line || !NeedsPort(*line)) continue;
    auto it = attempts_.find(line);
    if (it != attempts_.end() && TicksSince(now, it->second.at) < kRetryMs) {
      still.emplace(line, it->second);
      continue;
    }
    const bool failedBefore = it != attempts_.end() && it->second.failed;
    if (OpenLinePort(*line, names, clock, failedBefore ? nullptr : trace)) {
      // The open's own trace line, which a quiet retry left out.
      if (failedBefore && trace)
        trace->Append(LinePortPath(*line) + " " + names.DevicePath(line->PortNumber).value_or("-"));
      ++opened;
      continue;
    }
    still.emplace(line, Attempt{now, true});
  }
  // Lines that opened, stopped or went away are forgotten.
  attempts_.swap(still);
  return opened;
}

}  // namespace quell
