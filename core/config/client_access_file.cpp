#include "core/config/client_access_file.h"

#include <algorithm>
#include <cctype>

#include "core/config/file_names.h"
#include "core/config/text_file.h"
#include "core/text.h"

namespace quell {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return text;
}

}  // namespace

ClientAccessFile ParseClientAccessFile(const std::vector<std::string>& lines) {
  ClientAccessFile file;
  file.exists = true;
  std::vector<AccessEntry>* section = &file.stray;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string text = Trim(std::string_view(lines[i]).substr(0, lines[i].find(';')));
    if (text.empty()) continue;
    if (text.front() == '[' && text.back() == ']') {
      const std::string name = Lower(Trim(std::string_view(text).substr(1, text.size() - 2)));
      std::optional<std::vector<AccessEntry>>* known = name == "clients"      ? &file.clients
                                                       : name == "relay"      ? &file.relay
                                                       : name == "modules"    ? &file.modules
                                                       : name == "monitoring" ? &file.monitoring
                                                                              : nullptr;
      if (known) {
        // A section named twice keeps adding to the same list.
        if (!*known) known->emplace();
        section = &**known;
      } else {
        file.stray.push_back({int(i + 1), text});
        section = &file.stray;
      }
      continue;
    }
    section->push_back({int(i + 1), text});
  }
  return file;
}

ClientAccessFile ReadClientAccessFile(const std::string& workDir) {
  const auto lines = ReadTextLines(ConfigPath(workDir, kClientAccessFileName));
  if (!lines) return {};
  return ParseClientAccessFile(*lines);
}

}  // namespace quell
