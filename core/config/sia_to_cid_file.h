#pragma once
// "\SiaToCid.txt": which Contact ID event an SIA-DCS event code becomes.
// One code a line, TAB-separated: the two-letter SIA code (any case), then
// the qualifier letter E (new event) or R (restore) and the three-character
// Contact ID code; further fields are a free description. Empty lines and
// lines starting with ";" are skipped silently, other lines that do not
// read with a journal text naming them.
//   BA<TAB>E130<TAB>Burglary alarm
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quell {

inline constexpr std::string_view kSiaToCidFileName = "\\SiaToCid.txt";

struct SiaToCidTable {
  bool present = false;                                // the file was read
  std::unordered_map<std::string, std::string> codes;  // "BA" -> "E130"

  // "E130" for a code in any case; nullopt when it has no row.
  std::optional<std::string> Find(std::string_view siaCode) const;
};

struct SiaToCidFile {
  SiaToCidTable table;
  std::vector<std::string> problems;  // journal texts
};

SiaToCidFile ParseSiaToCidFile(const std::vector<std::string>& lines);
// An absent file gives an empty table that is not present.
SiaToCidFile ReadSiaToCidFile(const std::string& workDir);

}  // namespace quell
