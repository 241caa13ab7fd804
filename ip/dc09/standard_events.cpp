#include "ip/dc09/standard_events.h"

#include "ip/dc09/standard_frame.h"

namespace quell {
namespace {

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsUpper(char c) {
  return c >= 'A' && c <= 'Z';
}
bool IsLetter(char c) {
  return IsUpper(c) || (c >= 'a' && c <= 'z');
}

// Digits at t[at...] (up to max of them); advances at. -1 when none or more.
long Number(std::string_view t, size_t& at, size_t max) {
  size_t n = 0;
  long v = 0;
  while (at + n < t.size() && IsDigit(t[at + n])) {
    if (++n > max) return -1;
    v = v * 10 + (t[at + n - 1] - '0');
  }
  at += n;
  return n == 0 ? -1 : v;
}

std::string Padded(long value, size_t width) {
  std::string s = std::to_string(value);
  return std::string(width > s.size() ? width - s.size() : 0, '0') + s;
}

}  // namespace

std::optional<CidEvent> ReadAdmCidData(std::string_view data) {
  const std::string_view d = WithoutDataAccount(data);
  if (d.size() != 11 || d[4] != ' ' || d[7] != ' ') return std::nullopt;
  for (size_t i : {1, 2, 3, 5, 6, 8, 9, 10})
    if (!IsHex(d[i])) return std::nullopt;
  CidEvent e;
  if (d[0] == '1' || d[0] == '6')
    e.qualifier = 'E';
  else if (d[0] == '3')
    e.qualifier = 'R';
  else
    return std::nullopt;
  e.code = std::string(d.substr(1, 3));
  e.group = std::string(d.substr(5, 2));
  e.zone = std::string(d.substr(8, 3));
  return e;
}

std::optional<CidEvent> ReadSiaDcsData(std::string_view data, const SiaToCidTable& table) {
  std::string_view d = WithoutDataAccount(data);
  size_t at = 0;
  if (at < d.size() && (d[at] == 'N' || d[at] == 'O')) ++at;
  long group = 0;
  // The fields before the code: lower-case names, so a code never reads as one.
  for (;;) {
    const std::string_view name = d.substr(at, 2);
    if (name == "ti") {
      // HH:MM
      if (d.size() < at + 7 || !IsDigit(d[at + 2]) || !IsDigit(d[at + 3]) || d[at + 4] != ':' ||
          !IsDigit(d[at + 5]) || !IsDigit(d[at + 6]))
        return std::nullopt;
      at += 7;
    } else if (name == "id" || name == "ri") {
      at += 2;
      // ri over 99 cannot be a group.
      const long v = Number(d, at, 16);
      if (v < 0 || (name == "ri" && v > 99)) return std::nullopt;
      if (name == "ri") group = v;
    } else {
      break;
    }
    if (at < d.size() && d[at] == '/') ++at;
  }
  if (d.size() < at + 2 || !IsLetter(d[at]) || !IsLetter(d[at + 1])) return std::nullopt;
  const auto cid = table.Find(d.substr(at, 2));
  if (!cid) return std::nullopt;
  at += 2;
  long zone = 0;
  if (at < d.size() && IsDigit(d[at])) {
    zone = Number(d, at, 4);
    if (zone < 0 || zone > 999) return std::nullopt;
  }
  CidEvent e;
  e.qualifier = (*cid)[0];
  e.code = cid->substr(1);
  e.group = Padded(group, 2);
  e.zone = Padded(zone, 3);
  return e;
}

std::string Dc09EventLine(const std::string& console, const CidEvent& e) {
  std::string line = "5114 18";
  line.reserve(20);
  line += console;
  line += e.qualifier;
  line += e.code;
  line += e.group;
  line += e.zone;
  return line;
}

}  // namespace quell
