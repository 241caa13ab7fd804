#include "core/config/sia_to_cid_file.h"

#include <unordered_set>

#include "core/config/sia_to_cid_builtin.h"
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

SiaToCidTable SiaToCidTable::BuiltIn() {
  SiaToCidTable t;
  for (const SiaToCidRow& row : BuiltInSiaToCid()) t.codes.emplace(row.sia, row.cid);
  return t;
}

SiaToCidFile ParseSiaToCidFile(const std::vector<std::string>& lines) {
  SiaToCidFile file;
  file.table = SiaToCidTable::BuiltIn();
  file.table.present = true;
  std::unordered_set<std::string> seen;  // codes of the file's rows so far
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (Trim(line).empty() || line.front() == ';') continue;
    const size_t tab = line.find('\t');
    const std::string code = line.substr(0, tab);
    const std::string cid = tab == std::string::npos
                                ? std::string()
                                : line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
    const bool removes = cid == "-";
    const bool ok = code.size() == 2 && IsLetter(code[0]) && IsLetter(code[1]) &&
                    (removes || (cid.size() == 4 && (cid[0] == 'E' || cid[0] == 'R') &&
                                 IsHexDigit(cid[1]) && IsHexDigit(cid[2]) && IsHexDigit(cid[3]))) &&
                    !seen.contains(Upper(code));
    if (!ok) {
      file.problems.push_back("SiaToCid.txt, " + W("строка ") + std::to_string(i + 1) +
                              W(" пропущена: ") + line);
      continue;
    }
    seen.insert(Upper(code));
    if (removes)
      file.table.codes.erase(Upper(code));
    else
      file.table.codes[Upper(code)] = cid;
  }
  return file;
}

SiaToCidFile ReadSiaToCidFile(const std::string& workDir) {
  const auto lines = ReadTextLines(ConfigPath(workDir, kSiaToCidFileName));
  if (!lines) {
    SiaToCidFile absent;
    absent.table = SiaToCidTable::BuiltIn();
    absent.problems.push_back(
        W("Нет файла SiaToCid.txt: используется встроенная таблица кодов SIA (кодов: ") +
        std::to_string(absent.table.codes.size()) + ")");
    return absent;
  }
  return ParseSiaToCidFile(*lines);
}

}  // namespace quell
