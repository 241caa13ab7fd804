#pragma once
// Which Contact ID event an SIA-DCS event code becomes: the built-in table
// of SIA codes with a Contact ID counterpart, to which "\SiaToCid.txt" adds
// rows and whose rows it overrides or removes. One code a line, TAB-
// separated: the two-letter SIA code (any case), then the qualifier letter
// E (new event) or R (restore) and the three-character Contact ID code, or
// "-" to remove the code; further fields are a free description. Empty
// lines and lines starting with ";" are skipped silently, other lines that
// do not read with a journal text naming them.
//   BA<TAB>E130<TAB>Burglary alarm
//   XX<TAB>-
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

  // The built-in rows alone.
  static SiaToCidTable BuiltIn();

  // "E130" for a code in any case; nullopt when it has no row.
  std::optional<std::string> Find(std::string_view siaCode) const;
};

struct SiaToCidFile {
  SiaToCidTable table;
  std::vector<std::string> problems;  // journal texts
};

// The built-in rows with the file's rows applied.
SiaToCidFile ParseSiaToCidFile(const std::vector<std::string>& lines);
// An absent file gives the built-in table, not present, and a journal text
// saying it is used.
SiaToCidFile ReadSiaToCidFile(const std::string& workDir);

}  // namespace quell
