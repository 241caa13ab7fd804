#include "core/config/dc09_file.h"

#include <algorithm>

#include "core/config/text_file.h"
#include "core/cp1251.h"
#include "core/dc09/aes_cbc.h"
#include "core/hex.h"
#include "core/text.h"

namespace quell {
namespace {

enum class Section { None, Receiver, Accounts, Unknown };

bool IsHexText(std::string_view t) {
  return std::all_of(t.begin(), t.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
  });
}

// The line up to a ";" that stands outside double quotes.
std::string_view WithoutComment(std::string_view line) {
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ';' && !quoted) return line.substr(0, i);
  }
  return line;
}

// A key: 32, 48 or 64 hex digits, or 16, 24 or 32 characters in quotes.
std::optional<std::string> ReadKey(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    const std::string_view bytes = text.substr(1, text.size() - 2);
    if (AesKeyLengthOk(bytes.size()) && bytes.find('"') == std::string_view::npos)
      return std::string(bytes);
    return std::nullopt;
  }
  if (!AesKeyLengthOk(text.size() / 2)) return std::nullopt;
  return FromHex(text);
}

class Reader {
 public:
  explicit Reader(const std::vector<int>& ports) : ports_(ports) {}

  // Empty when the line reads; otherwise why it does not.
  std::string Line(std::string_view raw) {
    const std::string line = Trim(WithoutComment(raw));
    if (line.empty()) return {};
    if (line.front() == '[') return Header(line);
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return W("нет знака =");
    const std::string name = Trim(std::string_view(line).substr(0, eq));
    const std::string value = Trim(std::string_view(line).substr(eq + 1));
    switch (section_) {
      case Section::Receiver:
        return ReceiverKey(Upper(name), value);
      case Section::Accounts:
        return Account(name, value);
      default:
        return W("вне разделов [Receiver] и [Accounts]");
    }
  }

  Dc09File file;

 private:
  std::string Header(const std::string& line) {
    const std::string name = Upper(line);
    section_ = name == "[RECEIVER]"   ? Section::Receiver
               : name == "[ACCOUNTS]" ? Section::Accounts
                                      : Section::Unknown;
    return section_ == Section::Unknown ? W("неизвестный раздел") : std::string();
  }

  std::string ReceiverKey(const std::string& name, const std::string& value) {
    Dc09Config& c = file.config;
    if (name == "ANYACCOUNT" || name == "CHECKPLAINTIME") {
      if (value != "0" && value != "1") return W("нужно 0 или 1");
      (name == "ANYACCOUNT" ? c.anyAccount : c.checkPlainTime) = value == "1";
      return {};
    }
    if (name == "UNMAPPEDSIA") {
      const std::string v = Upper(value);
      if (v == "DUH") {
        c.unmappedSia.reset();
        return {};
      }
      if (v.size() != 3 ||
          !std::all_of(v.begin(), v.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
        return W("нужен трёхзначный код Contact ID или DUH");
      c.unmappedSia = v;
      return {};
    }
    if (name != "TCPPORT") return W("неизвестный ключ");
    const std::optional<int> port =
        std::all_of(value.begin(), value.end(), [](char ch) { return ch >= '0' && ch <= '9'; })
            ? ToInt(value)
            : std::nullopt;
    if (!port || *port > 65535) return W("нужен порт 0..65535");
    if (*port != 0 && std::find(ports_.begin(), ports_.end(), *port) != ports_.end())
      return W("порт уже занят сервером");
    c.tcpPort = *port;
    return {};
  }

  std::string Account(const std::string& name, const std::string& value) {
    if (name.empty() || name.size() > 16 || !std::all_of(name.begin(), name.end(), [](char ch) {
          return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
        }))
      return W("счёт DC-09: от 1 до 16 латинских букв или цифр");
    const size_t comma = value.find(',');
    const std::string console = Trim(std::string_view(value).substr(0, comma));
    if (console.size() != 4 || !IsHexText(console))
      return W("счёт пульта: 4 шестнадцатеричных знака");
    Dc09Account row{Upper(name), Upper(console), {}};
    if (comma != std::string::npos) {
      const std::optional<std::string> key =
          ReadKey(Trim(std::string_view(value).substr(comma + 1)));
      if (!key)
        return W("ключ: 32, 48 или 64 шестнадцатеричных знака или 16, 24 или 32 знака в кавычках");
      row.key = *key;
    }
    if (file.config.Find(row.account)) return W("счёт уже указан");
    file.config.accounts.push_back(std::move(row));
    return {};
  }

  const std::vector<int>& ports_;
  Section section_ = Section::None;
};

}  // namespace

const Dc09Account* Dc09Config::Find(std::string_view account) const {
  const std::string key = Upper(account);
  for (const auto& row : accounts)
    if (row.account == key) return &row;
  return nullptr;
}

Dc09File ParseDc09File(const std::vector<std::string>& lines, const std::vector<int>& portsInUse) {
  Reader reader(portsInUse);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string why = reader.Line(lines[i]);
    if (why.empty()) continue;
    reader.file.problems.push_back("DC09.ini, " + W("строка ") + std::to_string(i + 1) +
                                   W(" пропущена (") + why + "): " + lines[i]);
  }
  return std::move(reader.file);
}

std::optional<Dc09File> ReadDc09File(const std::string& workDir,
                                     const std::vector<int>& portsInUse) {
  const auto lines = ReadTextLines(ConfigPath(workDir, kDc09FileName));
  if (!lines) return std::nullopt;
  return ParseDc09File(*lines, portsInUse);
}

}  // namespace quell
