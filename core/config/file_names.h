#pragma once
// Names of the configuration files in the working directory. They keep their
// leading backslash; ConfigPath drops it when joining with the directory.
#include <string_view>

namespace quell {

inline constexpr std::string_view kLineListFileName = "\\ConnectionType.ini";
inline constexpr std::string_view kLineSetFileName = "\\LineSet.ini";
inline constexpr std::string_view kModemTypeFileName = "\\ModemType.ini";
inline constexpr std::string_view kIpModuleFileName = "\\param0";
inline constexpr std::string_view kConsolePortFileName = "\\paramv";
inline constexpr std::string_view kClientPortFileName = "\\quellport";
inline constexpr std::string_view kTraceSwitchFileName = "\\paramtest";
inline constexpr std::string_view kObjectTableFileName = "\\objects.txt";
inline constexpr std::string_view kCodeTableFileName = "\\codes.txt";
inline constexpr std::string_view kPanelTableFileName = "\\info.slv";
inline constexpr std::string_view kClientAccessFileName = "\\ClientAccess.ini";

}  // namespace quell
