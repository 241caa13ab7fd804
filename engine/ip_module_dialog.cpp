#include "engine/ip_module_dialog.h"

#include "core/config/file_names.h"
#include "core/config/text_file.h"
#include "core/cp1251.h"
#include "core/text.h"
#include "engine/engine.h"

namespace quell {

namespace {

std::string TwoDigits(int value) {
  return PadLeft(std::to_string(value), 2, '0');
}

const char* Switch(bool on) {
  return on ? "1" : "0";
}

}  // namespace

IpModuleDialogState OpenIpModuleDialog(const IpModuleSettings& settings) {
  IpModuleDialogState state;
  const int limit = settings.silenceLimitSeconds;
  state.hours = limit / 3600;
  state.minutes = limit / 60 % 60;
  state.seconds = limit % 60;
  state.keepEvents = settings.storeOffline;
  state.eventChoice = settings.testSignal ? 0 : 1;
  return state;
}

std::vector<std::string> FormatIpModuleFile(const IpModuleSettings& settings) {
  const int limit = settings.silenceLimitSeconds;
  return {TwoDigits(limit / 3600) + ":" + TwoDigits(limit / 60 % 60) + ":" + TwoDigits(limit % 60),
          Switch(settings.storeOffline), Switch(settings.testSignal), Switch(settings.lossRestore)};
}

bool ApplyIpModuleDialog(IpModuleSettings& settings, const std::string& workDir,
                         const IpModuleDialogState& state, std::string* error) {
  if (state.hours < 0 || state.hours > 23 || state.minutes < 0 || state.minutes > 59 ||
      state.seconds < 0 || state.seconds > 59) {
    if (error) *error = W("Неверное время: часы 0..23, минуты и секунды 0..59");
    return false;
  }
  IpModuleSettings changed = settings;
  changed.silenceLimitSeconds = state.hours * 3600 + state.minutes * 60 + state.seconds;
  changed.storeOffline = state.keepEvents;
  changed.testSignal = state.eventChoice == 0;
  changed.lossRestore = state.eventChoice == 1;
  // The write replaces the file whole: a failure leaves the old one.
  if (!WriteTextLines(ConfigPath(workDir, kIpModuleFileName), FormatIpModuleFile(changed))) {
    if (error) *error = "param0: cannot write the file";
    return false;
  }
  settings = changed;
  return true;
}

bool ApplyIpModuleDialog(Engine& engine, const IpModuleDialogState& state, std::string* error) {
  return ApplyIpModuleDialog(engine.ipSettings(), engine.workDir(), state, error);
}

}  // namespace quell
