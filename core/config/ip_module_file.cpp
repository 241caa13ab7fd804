#include "core/config/ip_module_file.h"

#include "core/config/file_names.h"
#include "core/config/text_file.h"
#include "core/text.h"

namespace quell {

namespace {

// One to two decimal digits within 0..limit.
std::optional<int> TimePart(std::string_view text, int limit) {
  if (text.empty() || text.size() > 2) return std::nullopt;
  for (char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  const std::optional<int> value = ToInt(text);
  if (!value || *value > limit) return std::nullopt;
  return value;
}

}  // namespace

std::optional<int> ParseSilenceLimit(std::string_view text) {
  const std::string t = Trim(text);
  const size_t first = t.find(':');
  if (first == std::string::npos) return std::nullopt;
  const size_t second = t.find(':', first + 1);
  if (second == std::string::npos) return std::nullopt;
  const std::string_view view(t);
  const auto hours = TimePart(view.substr(0, first), 23);
  const auto minutes = TimePart(view.substr(first + 1, second - first - 1), 59);
  const auto seconds = TimePart(view.substr(second + 1), 59);
  if (!hours || !minutes || !seconds) return std::nullopt;
  return *hours * 3600 + *minutes * 60 + *seconds;
}

IpModuleSettings ParseIpModuleSettings(const std::vector<std::string>& lines) {
  IpModuleSettings settings;
  if (lines.empty()) return settings;
  const std::optional<int> limit = ParseSilenceLimit(lines[0]);
  if (!limit) return settings;
  settings.silenceLimitSeconds = *limit;
  bool* switches[] = {&settings.storeOffline, &settings.testSignal, &settings.lossRestore};
  for (size_t i = 0; i < 3 && i + 1 < lines.size(); ++i) *switches[i] = lines[i + 1] == "1";
  return settings;
}

IpModuleSettings ReadIpModuleSettings(const std::string& workDir) {
  const auto lines = ReadTextLines(ConfigPath(workDir, kIpModuleFileName));
  return lines ? ParseIpModuleSettings(*lines) : IpModuleSettings{};
}

}  // namespace quell
