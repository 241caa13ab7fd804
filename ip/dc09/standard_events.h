#pragma once
// The Contact ID event of an ADM-CID or SIA-DCS frame's data, and the event
// line the console sees for it.
#include <optional>
#include <string>
#include <string_view>

#include "core/config/sia_to_cid_file.h"

namespace quell {

struct CidEvent {
  char qualifier = 'E';  // 'E' new event, 'R' restore
  std::string code;      // 3 characters
  std::string group;     // 2
  std::string zone;      // 3
  bool IsPeriodicTest() const { return qualifier == 'E' && code == "602"; }
};

// ADM-CID data "[#acct|]QEEE GG ZZZ": qualifier 1 -> E, 3 -> R, 6 -> E.
// nullopt for anything else.
std::optional<CidEvent> ReadAdmCidData(std::string_view data);

// SIA-DCS data: optional "#acct", optional '|', optional N or O, the fields
// ti HH:MM, id digits, ri digits in any order (each optionally followed by
// '/'), then a two-letter code and 0..4 digits; the rest is ignored. The
// code is mapped through the table; group from ri (at most 99), zone from
// the number (at most 999). nullopt when unreadable or unmapped.
std::optional<CidEvent> ReadSiaDcsData(std::string_view data, const SiaToCidTable& table);

// "5114 18" + console account + qualifier + code + group + zone: receiver
// 11, line 4, the channel the console knows DC-09 events by.
std::string Dc09EventLine(const std::string& console, const CidEvent& e);

}  // namespace quell
