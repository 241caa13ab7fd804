#include "core/config/console_port_file.h"

#include "core/config/file_names.h"
#include "core/config/text_file.h"
#include "core/text.h"

namespace quell {

ConsolePortFile ParseConsolePortFile(const std::string& firstLine) {
  ConsolePortFile file;
  file.exists = true;
  file.online = Contains(firstLine, "ONLINE");
  file.portKind = Contains(firstLine, ";VP;") ? "VP" : "RP";
  file.protocol =
      Contains(firstLine, "Ademco685") ? OutputProtocol::Ademco685 : OutputProtocol::ContactId;
  file.serialText = FieldAt(firstLine, 4, ";");
  return file;
}

ConsolePortFile ReadConsolePortFile(const std::string& workDir) {
  const auto lines = ReadTextLines(ConfigPath(workDir, kConsolePortFileName));
  if (!lines) return ConsolePortFile{};
  return ParseConsolePortFile(lines->empty() ? std::string() : lines->front());
}

}  // namespace quell
