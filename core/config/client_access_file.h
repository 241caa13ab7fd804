#pragma once
// "\ClientAccess.ini" (optional): which peers may reach the client ports,
// the relay port and the IP module ports. Windows-1251 or ASCII text; ";"
// starts a comment; a section "[Clients]", "[Relay]" or "[Modules]" lists
// one address ("10.0.0.5", "fe80::1") or block ("10.0.0.0/8",
// "2001:db8::/32") per line.
#include <optional>
#include <string>
#include <vector>

namespace quell {

struct AccessEntry {
  int lineNumber = 0;  // 1-based line of the file, for the journal
  std::string text;    // trimmed, without its comment
};

struct ClientAccessFile {
  bool exists = false;
  // nullopt: the section is absent (its ports serve everyone).
  std::optional<std::vector<AccessEntry>> clients, relay, modules;
  // "[Monitoring]": the monitoring HTTP port of "\Monitoring.ini".
  std::optional<std::vector<AccessEntry>> monitoring;
  // Lines that belong to no known section.
  std::vector<AccessEntry> stray;
};

ClientAccessFile ParseClientAccessFile(const std::vector<std::string>& lines);
ClientAccessFile ReadClientAccessFile(const std::string& workDir);

}  // namespace quell
