#pragma once
// "\param0": the IP module silence limit and three switches, one per line.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings.h"

namespace quell {

// "hh:nn:ss" as seconds; nullopt unless it is a time of day (hours 0..23).
std::optional<int> ParseSilenceLimit(std::string_view text);

// Settings from the file's lines. A period that does not read keeps all four
// defaults; a missing line keeps its switch and the ones after it; a switch
// is on only for a line that is exactly "1".
IpModuleSettings ParseIpModuleSettings(const std::vector<std::string>& lines);

// Reads the file in workDir; the defaults when it is missing or unreadable.
IpModuleSettings ReadIpModuleSettings(const std::string& workDir);

}  // namespace quell
