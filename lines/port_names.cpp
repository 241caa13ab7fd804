#include "lines/port_names.h"

#include <QDir>
#include <QFile>
#include <algorithm>

#include "core/text.h"
#include "core/trace_view.h"

namespace quell {
namespace {

// Case-insensitive ASCII order, the order of a sorted text list.
bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    return lower(x) < lower(y);
  });
}

std::string ReadSmallFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.read(4096).toStdString();
}

}  // namespace

std::optional<int> ComNumber(std::string_view name) {
  if (name.size() < 4 || Upper(name.substr(0, 3)) != "COM") return std::nullopt;
  std::string_view digits = name.substr(3);
  if (digits[0] < '0' || digits[0] > '9') return std::nullopt;
  std::optional<int> n = ToInt(digits);
  if (!n || *n < 1) return std::nullopt;
  return n;
}

bool PortNames::Load(const std::string& workDir) {
  QFile file(QDir(QString::fromStdString(workDir)).filePath(QString::fromLatin1(kFileName)));
  if (!file.open(QIODevice::ReadOnly)) {
    std::lock_guard g(lock_);
    mapped_.clear();
    return false;
  }
  Parse(file.readAll().toStdString());
  return true;
}

void PortNames::Parse(std::string_view text) {
  std::map<int, std::string> mapped;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::optional<int> n = ComNumber(Trim(line.substr(0, eq)));
    std::string path = Trim(line.substr(eq + 1));
    if (n && !path.empty()) mapped.emplace(*n, std::move(path));  // first one wins
  }
  std::lock_guard g(lock_);
  mapped_ = std::move(mapped);
}

std::optional<std::string> PortNames::DevicePath(int portNumber) const {
  if (portNumber < 1) return std::nullopt;
  std::lock_guard g(lock_);
  if (auto it = virtual_.find(portNumber); it != virtual_.end()) return it->second;
  if (auto it = mapped_.find(portNumber); it != mapped_.end()) return it->second;
  return "/dev/ttyS" + std::to_string(portNumber - 1);
}

void PortNames::SetVirtual(int portNumber, std::string devicePath) {
  std::lock_guard g(lock_);
  virtual_[portNumber] = std::move(devicePath);
}

void PortNames::RemoveVirtual(int portNumber) {
  std::lock_guard g(lock_);
  virtual_.erase(portNumber);
}

std::map<int, std::string> PortNames::Mapped() const {
  std::lock_guard g(lock_);
  return mapped_;
}

std::vector<std::string> RealSerialPorts(TraceView* trace, const std::string& sysTtyDir) {
  QDir dir(QString::fromStdString(sysTtyDir));
  QStringList entries =
      dir.entryList({QStringLiteral("ttyS*")}, QDir::Dirs | QDir::Files | QDir::System);
  // Numeric order, so the trace reads ttyS0, ttyS1, ..., ttyS10.
  std::vector<int> indexes;
  for (const QString& entry : entries) {
    std::optional<int> k = ToInt(entry.mid(4).toStdString());
    if (!k || *k < 0 || entry.mid(4).startsWith(QLatin1Char('+'))) continue;
    // The serial core reports the UART type; 0 means no hardware answers.
    std::optional<int> type =
        ToInt(Trim(ReadSmallFile(dir.filePath(entry + QStringLiteral("/type")))));
    if (type && *type != 0) indexes.push_back(*k);
  }
  std::sort(indexes.begin(), indexes.end());
  std::vector<std::string> names;
  for (int k : indexes) {
    if (trace) trace->Append("/dev/ttyS" + std::to_string(k));
    names.push_back("COM" + std::to_string(k + 1));
  }
  return names;
}

std::vector<std::string> PortChoiceList(const PortNames& names, TraceView* trace,
                                        const std::string& sysTtyDir) {
  std::vector<std::string> list;
  for (const auto& [n, path] : names.Mapped()) {
    if (trace) trace->Append("COM" + std::to_string(n) + "=" + path);
    list.push_back("COM" + std::to_string(n));
  }
  for (std::string& name : RealSerialPorts(trace, sysTtyDir)) list.push_back(std::move(name));
  std::sort(list.begin(), list.end(), LessIgnoringCase);
  list.erase(std::unique(list.begin(), list.end()), list.end());
  return list;
}

}  // namespace quell
