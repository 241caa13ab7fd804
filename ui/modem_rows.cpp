#include "ui/modem_rows.h"

namespace quell {

int SignalIconIndex(int level) {
  const int q = (level + 1) / 4;
  if (q == 1) return 1;
  if (q >= 2 && q <= 4) return 2;
  if (q == 5 || q == 6) return 3;
  if (q == 7 || q == 8) return 4;
  return 0;
}

int ModemStateIconIndex(int serviceStatus) {
  return serviceStatus == 2 ? 6 : 5;
}

std::vector<ModemStateRow> ModemStateRows(const LineList& lines) {
  std::vector<ModemStateRow> rows;
  for (size_t i = 0; i < lines.Size(); ++i) {
    const TLineGSM* line = lines.At(i).Line.get();
    if (!line) continue;
    const int level = line->SignalLevel.load();
    if (level == kUnknownSignal) continue;
    rows.push_back(
        {line->LineName, ModemStateIconIndex(line->ServiceStatus.load()), SignalIconIndex(level)});
  }
  return rows;
}

}  // namespace quell
