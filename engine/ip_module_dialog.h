#pragma once
// The IP module settings dialog without its widgets: what its controls show
// when it opens, and the settings and "\param0" written on OK. Main thread.
#include <string>
#include <vector>

#include "core/settings.h"

namespace quell {

class Engine;

struct IpModuleDialogState {
  int hours = 0;  // the silence limit
  int minutes = 0;
  int seconds = 0;
  bool keepEvents = false;  // events stay queued while the console does not answer
  int eventChoice = 1;      // 0 test-signal events, 1 loss/restore events, -1 none
};

// Always from the current settings, so a choice cancelled earlier never
// reaches a later OK.
IpModuleDialogState OpenIpModuleDialog(const IpModuleSettings& settings);

// The four lines of "\param0" for settings.
std::vector<std::string> FormatIpModuleFile(const IpModuleSettings& settings);

// Checks the time (hours 0..23, minutes and seconds 0..59), then replaces
// "\param0" in workDir and settings. On a bad time or a failed write nothing
// changes: false with the reason in error.
bool ApplyIpModuleDialog(IpModuleSettings& settings, const std::string& workDir,
                         const IpModuleDialogState& state, std::string* error);
bool ApplyIpModuleDialog(Engine& engine, const IpModuleDialogState& state, std::string* error);

}  // namespace quell
