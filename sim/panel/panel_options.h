#pragma once
// How a simulated panel plays its data calls.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/modem/data_peer.h"

namespace quell::sim {

struct PanelOptions {
  std::string account = "1234";                         // four characters
  std::vector<std::string> codes = {"10", "20", "30"};  // a frame each; the last closes
  bool h = false;                                       // frames start "~H"
  std::string extension = "000000";                     // follows code 75
  std::string payload;                                  // follows every frame's code
  uint32_t frameGapMs = 200;        // before each frame: after the connect or the last reply
  uint32_t replyTimeoutMs = 10000;  // no reply (or end of call) this long: hang up
  int dropAfter = 0;                // hang up after this many replies; 0 = never
  DataDialOutcome dialOutcome = DataDialOutcome::Answer;  // when the gateway dials
};

}  // namespace quell::sim
