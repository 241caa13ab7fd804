#pragma once
// What a simulated panel saw in one data call, for tests and the role's
// report.
#include <string>
#include <vector>

namespace quell::sim {

struct PanelCall {
  static constexpr size_t kMaxKept = 64;  // lines kept in replies and ignored

  bool gatewayDialled = false;  // else the panel called
  int framesSent = 0;
  bool closingSent = false;
  std::vector<std::string> replies;  // reply lines as received, the first kMaxKept
  std::vector<std::string> ignored;  // other lines (an unguarded "+++", "ATH"...)
  int replyCount = 0;
  int badCrc = 0;                   // wrong or missing crc
  int badAccount = 0;               // another account, or the H missing
  int closingReplies = 0;           // replies after the closing frame
  bool escapeWithGuard = false;     // "+++" with its guard time took the modem to command mode
  bool escapeWithoutGuard = false;  // "+++" came through as data
  bool hangupSeen = false;          // the gateway ended the call with ATH
  bool panelHungUp = false;         // after dropAfter replies or a reply timeout
  bool timedOut = false;
  bool ended = false;

  // The gateway ended the call as it should: after the closing frame, a
  // guarded escape and ATH, with no "+++" sent as data.
  bool EndedProperly() const {
    return closingSent && escapeWithGuard && hangupSeen && !escapeWithoutGuard;
  }
};

}  // namespace quell::sim
