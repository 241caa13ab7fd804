#include "core/config/client_port_file.h"

#include "core/config/file_names.h"
#include "core/config/text_file.h"
#include "core/text.h"

namespace quell {

std::optional<int> ParseClientPort(std::string_view firstLine) {
  const std::optional<int> port = ToInt(Substring(firstLine, 1, 4));
  // A port of zero or below cannot be listened on by the station's clients.
  if (!port || *port < 1 || *port > 65535) return std::nullopt;
  return port;
}

std::optional<int> ReadClientPort(const std::string& workDir) {
  const auto lines = ReadTextLines(ConfigPath(workDir, kClientPortFileName));
  if (!lines || lines->empty()) return std::nullopt;
  return ParseClientPort(lines->front());
}

}  // namespace quell
