#include "ip/dc09/standard_events.h"

#include "core/text.h"
#include "ip/dc09/sia_block.h"
#include "ip/dc09/standard_frame.h"

namespace quell {
namespace {

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
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

SiaEvents ReadSiaDcsEvents(std::string_view data, const SiaToCidTable& table,
                           const std::optional<std::string>& unmapped) {
  SiaEvents out;
  const SiaBlock block =
      ReadSiaBlock(data, [&table](std::string_view code) { return table.Find(code).has_value(); });
  for (const SiaPacketEvent& p : block.events) {
    const std::string address = p.code + p.address;
    std::optional<std::string> cid = table.Find(p.code);
    if (!cid) {
      // Only the first event can lack a row: later ones need one to be read.
      if (!unmapped) return {};
      const char second = char(std::toupper(static_cast<unsigned char>(p.code[1])));
      const bool restore = std::string_view("RHJKU").find(second) != std::string_view::npos;
      cid = (restore ? "R" : "E") + *unmapped;
      out.unmappedCodes.push_back(Upper(p.code));
      out.notes.push_back("SIA code " + address + " has no row: Contact ID " + *cid);
    }
    long group = 0;
    if (!p.ri.empty()) {
      size_t at = 0;
      group = Number(p.ri, at, 16);
      if (group > 99) {
        out.notes.push_back("SIA " + address + ": ri" + p.ri + " over 99, group 00");
        group = 0;
      }
    }
    long zone = 0;
    if (!p.address.empty()) {
      size_t at = 0;
      zone = Number(p.address, at, 4);
      if (zone > 999) {
        out.notes.push_back("SIA " + address + ": zone over 999, zone 000");
        zone = 0;
      }
    }
    CidEvent e;
    e.qualifier = (*cid)[0];
    e.code = cid->substr(1);
    e.group = Padded(group, 2);
    e.zone = Padded(zone, 3);
    e.sia = address;
    if (!p.pi.empty()) e.sia += "/pi" + p.pi;
    out.events.push_back(std::move(e));
  }
  return out;
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
