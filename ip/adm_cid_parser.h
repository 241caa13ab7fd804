#pragma once
// Cuts a Contact ID event line out of an SIA DC-09 "ADM-CID" message by fixed
// offsets, or a supervision line out of an "SR" keep-alive, and records the
// module as heard. Shared by the TCP receivers and the DC-09 UDP receiver.
#include <string>
#include <string_view>

#include "console/console_output.h"
#include "core/settings.h"
#include "ip/ip_module_supervision.h"

namespace quell {

// The module account a message names, cut at the parser's offsets (empty
// when the message is too short), with "_" for a byte that would split a
// journal line's fields. For journal lines about refused messages.
std::string ModuleAccount(std::string_view message);

class AdmCidParser {
 public:
  AdmCidParser(IpModuleSupervision& modules, ConsoleOutput& output,
               const IpModuleSettings& settings);

  // An event line + CR, a supervision line + CR, or "FALSE". Pieces beyond
  // the end of a short message come out empty, so a short message yields a
  // shortened line rather than a rejection. A control byte, ";" or "|"
  // inside the cut pieces gives "FALSE" before the module list is touched.
  std::string Parse(std::string_view message);
  // Why the last Parse gave "FALSE" (a few words for the journal); empty
  // after a message that was read.
  std::string_view Rejection() const { return rejection_; }

 private:
  std::string ParseAdmCid(std::string_view m, int tokenPos);
  std::string ParseKeepAlive(std::string_view m);

  IpModuleSupervision& modules_;
  ConsoleOutput& output_;
  const IpModuleSettings& settings_;
  std::string_view rejection_;
};

}  // namespace quell
