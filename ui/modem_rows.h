#pragma once
// The rows of the modem state list: one per line whose signal level is
// known, with its service icon and signal icon.
#include <string>
#include <vector>

#include "lines/line_list.h"

namespace quell {

inline constexpr int kUnknownSignal = 99;

struct ModemStateRow {
  std::string caption;  // LineName, Windows-1251
  int stateIcon;        // index into the state icons
  int signalIcon;       // 0 (none) to 4 (full)
};

// Signal icon for a level of 0 to 31, from (level + 1) / 4.
int SignalIconIndex(int level);
// 6 while the modem is in service (ServiceStatus 2), otherwise 5.
int ModemStateIconIndex(int serviceStatus);
// The list contents in display order.
std::vector<ModemStateRow> ModemStateRows(const LineList& lines);

}  // namespace quell
