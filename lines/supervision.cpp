#include "lines/supervision.h"

#include "lines/modem_engine.h"
#include "lines/worker.h"

namespace quell {

int LineIcon(const TLineGSM& line) {
  if (!line.PortOpen) return kIconClosed;
  return line.Alive ? kIconAlive : kIconSilent;
}

void UpdateLineIcon(LineEntry& entry, NoticeList& notices, AlarmSound& sound) {
  if (!entry.Line) return;
  const int previous = entry.IconIndex;
  const int icon = LineIcon(*entry.Line);
  entry.IconIndex = icon;
  if (icon == previous) return;
  const std::string prefix = "QUELL_LINE_STATUS&" + entry.Line->LineName;
  if (icon == kIconAlive) {
    notices.Append(NoticeOrigin::LineStatus, prefix + "&ON");
  } else if (previous == kIconAlive) {
    notices.Append(NoticeOrigin::LineStatus, prefix + "&OFF");
    sound.Play();
  }
}

void SuperviseLines(LineList& lines, NoticeList& notices, AlarmSound& sound, const Clock& clock) {
  for (size_t i = 0; i < lines.Size(); ++i) {
    LineEntry& entry = lines.At(i);
    UpdateLineIcon(entry, notices, sound);
    TLineGSM* line = entry.Line.get();
    if (!line || !line->Worker) continue;
    if (!line->Started) {
      line->Worker->SuspendRequest = true;
    } else if (line->PortOpen && line->Worker->IsSuspended()) {
      line->Worker->SuspendRequest = false;
      if (line->IsModemLine()) PrepareModemStart(*line, clock.TickCount());
      line->Worker->Resume();
    }
  }
}

}  // namespace quell
