#pragma once
// The Contact ID event of an ADM-CID or SIA-DCS frame's data, and the event
// line the console sees for it.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/config/sia_to_cid_file.h"

namespace quell {

struct CidEvent {
  char qualifier = 'E';  // 'E' new event, 'R' restore
  std::string code;      // 3 characters
  std::string group;     // 2
  std::string zone;      // 3
  std::string sia;       // an SIA event's code and address as received, "/pi" + its peripheral
  bool IsPeriodicTest() const { return qualifier == 'E' && code == "602"; }
};

// ADM-CID data "[#acct|]QEEE GG ZZZ": qualifier 1 -> E, 3 -> R, 6 -> E.
// nullopt for anything else.
std::optional<CidEvent> ReadAdmCidData(std::string_view data);

// The events of SIA-DCS data (see sia_block.h), each mapped through the
// table; a first code without a row becomes unmapped (qualifier R when its
// second letter is R, H, J, K or U), or ends the reading with no event when
// unmapped is nullopt. Group from ri (00 when absent or over 99), zone from
// the address (000 when over 999). notes receives a trace text for each
// value replaced and each code forwarded without a row.
struct SiaEvents {
  std::vector<CidEvent> events;
  std::vector<std::string> notes;
  std::vector<std::string> unmappedCodes;  // codes forwarded as the unmapped code
};
SiaEvents ReadSiaDcsEvents(std::string_view data, const SiaToCidTable& table,
                           const std::optional<std::string>& unmapped);

// "5114 18" + console account + qualifier + code + group + zone: receiver
// 11, line 4, the channel the console knows DC-09 events by.
std::string Dc09EventLine(const std::string& console, const CidEvent& e);

}  // namespace quell
