#include "core/config/sia_to_cid_file.h"

#include "core/config/text_file.h"
#include "core/cp1251.h"
#include "core/text.h"

namespace quell {
namespace {

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

}  // namespace

std::optional<std::string> SiaToCidTable::Find(std::string_view siaCode) const {
  if (siaCode.size() != 2) return std::nullopt;
  const auto it = codes.find(Upper(siaCode));
  if (it == codes.end()) return std::nullopt;
  return it->second;
}

SiaToCidFile ParseSiaToCidFile(const std::vector<std::string>& lines) {
  SiaToCidFile file;
  file.table.present = true;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (Trim(line).empty() || line.front() == ';') continue;
    const size_t tab = line.find('\t');
    const std::string code = line.substr(0, tab);
    const std::string cid = tab == std::string::npos
                                ? std::string()
                                : line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
    const bool ok = code.size() == 2 && IsLetter(code[0]) && IsLetter(code[1]) && cid.size() == 4 &&
                    (cid[0] == 'E' || cid[0] == 'R') && IsHexDigit(cid[1]) && IsHexDigit(cid[2]) &&
                    IsHexDigit(cid[3]) && !file.table.codes.contains(Upper(code));
    if (!ok) {
      file.problems.push_back("SiaToCid.txt, " + W("строка ") + std::to_string(i + 1) +
                              W(" пропущена: ") + line);
      continue;
    }
    file.table.codes.emplace(Upper(code), cid);
  }
  return file;
}

SiaToCidFile ReadSiaToCidFile(const std::string& workDir) {
  const auto lines = ReadTextLines(ConfigPath(workDir, kSiaToCidFileName));
  if (!lines) {
    SiaToCidFile absent;
    absent.problems.push_back(W("Нет файла SiaToCid.txt: события SIA-DCS получат DUH"));
    return absent;
  }
  return ParseSiaToCidFile(*lines);
}

}  // namespace quell
