#include "core/config/table_files.h"

#include "core/config/file_names.h"
#include "core/config/text_file.h"

namespace quell {

namespace {
std::vector<std::string> ReadOrEmpty(const std::string& workDir, std::string_view name) {
  auto lines = ReadTextLines(ConfigPath(workDir, name));
  return lines ? std::move(*lines) : std::vector<std::string>{};
}
}  // namespace

std::vector<std::string> ReadObjectTable(const std::string& workDir) {
  return ReadOrEmpty(workDir, kObjectTableFileName);
}

CodeTable ReadCodeTable(const std::string& workDir) {
  return ReadOrEmpty(workDir, kCodeTableFileName);
}

std::vector<std::string> ReadPanelTable(const std::string& workDir) {
  return ReadOrEmpty(workDir, kPanelTableFileName);
}

bool TraceViewRequested(const std::string& workDir) {
  return FileExists(ConfigPath(workDir, kTraceSwitchFileName));
}

}  // namespace quell
