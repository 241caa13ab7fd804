#include "sim/roles.h"

#include <cstdio>

#include "sim/console/console_role.h"
#include "sim/dc09/dc09_role.h"
#include "sim/ip/ip_role.h"
#include "sim/modem/modem_role.h"
#include "sim/panel/panel_role.h"

namespace quell::sim {
namespace {

constexpr Role kRoles[] = {
    {"modem", "a GSM modem on a serial line (AT commands, calls, caller ID, SMS)", RunModemRole},
    {"panel", "a GSM modem with an alarm panel on its data calls (frames, replies)", RunPanelRole},
    {"dc09",
     "an IP communicator sending SIA DC-09 (ADM-CID, SIA-DCS, NULL; plain or AES; UDP or TCP;\n"
     "           hex, raw or CR-form CRC; header and SIA data forms; retransmissions)",
     RunDc09Role},
    {"ip", "IP modules over TCP: ADM-CID events or SR keep-alives, many at once", RunIpRole},
    {"console", "the station's console software on a serial line (events, ACK)", RunConsoleRole},
};

}  // namespace

std::span<const Role> Roles() {
  return kRoles;
}

const Role* FindRole(std::string_view name) {
  for (const Role& role : kRoles)
    if (role.name == name) return &role;
  return nullptr;
}

void PrintUsage(std::FILE* out) {
  std::fputs(
      "Usage: quell-sim ROLE [arguments]\n"
      "Plays a piece of field equipment so a station can be tried without hardware.\n\n"
      "Roles:\n",
      out);
  for (const Role& role : kRoles)
    std::fprintf(out, "  %-8.*s %.*s\n", int(role.name.size()), role.name.data(),
                 int(role.summary.size()), role.summary.data());
  std::fputs(
      "\nquell-sim ROLE --help explains a role's options.\n"
      "Example:\n"
      "  quell-sim modem pty --com 8 --ring +79001112233 --talk 4000\n",
      out);
}

}  // namespace quell::sim
