#include "core/config/sections.h"

#include "core/text.h"

namespace quell {

std::string SectionHeader(std::string_view name) {
  std::string header = "[";
  header.append(name);
  header += ']';
  return header;
}

std::string LineSettingsSectionName(std::string_view lineType, int mode) {
  std::string name(lineType);
  if (Contains(lineType, "GSM XCALL")) name += "_" + std::to_string(mode);
  return name;
}

SectionScanEnd ScanSection(
    const std::vector<std::string>& fileLines, std::string_view header,
    std::span<const std::string_view> keys, std::string_view separator,
    const std::function<bool(size_t keyIndex, const std::string& value)>& onValue) {
  bool inside = false;
  for (const auto& raw : fileLines) {
    const std::string line = Trim(raw);
    if (!inside) {
      inside = Contains(line, header);
      continue;
    }
    if (Contains(line, "[") || Contains(line, "]")) return SectionScanEnd::EndOfSection;
    for (size_t k = 0; k < keys.size(); ++k) {
      if (!Contains(line, keys[k])) continue;
      if (!onValue(k, FieldAt(line, 2, separator))) return SectionScanEnd::ValueRejected;
    }
  }
  return SectionScanEnd::EndOfFile;
}

void ApplyLineSetSection(const std::vector<std::string>& fileLines, std::string_view sectionName,
                         const std::array<int32_t*, 4>& targets, TraceView& trace) {
  const std::string header = SectionHeader(sectionName);
  trace.Append(header);
  const SectionScanEnd end =
      ScanSection(fileLines, header, kLineSetKeys, "=", [&](size_t k, const std::string& value) {
        const std::optional<int> number = ToInt(value);
        if (!number) return false;
        *targets[k] = *number;
        return true;
      });
  if (end != SectionScanEnd::ValueRejected) trace.Append(std::to_string(*targets[1]));
}

void ApplyModemTypeSection(const std::vector<std::string>& fileLines, std::string_view modemType,
                           const std::array<std::string*, 7>& targets) {
  ScanSection(fileLines, SectionHeader(modemType), kModemTypeKeys, ":",
              [&](size_t k, const std::string& value) {
                *targets[k] = value;
                return true;
              });
}

std::vector<std::string> CollectModemTypeNames(const std::vector<std::string>& fileLines) {
  std::vector<std::string> names;
  for (const auto& line : fileLines) {
    const size_t open = line.find('[');
    if (open == std::string::npos) continue;
    const size_t close = line.find(']', open + 1);
    const size_t count = close == std::string::npos ? std::string::npos : close - open - 1;
    names.push_back(Trim(std::string_view(line).substr(open + 1, count)));
  }
  return names;
}

}  // namespace quell
