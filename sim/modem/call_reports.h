#pragma once
// The lines each call-report family sends as a call progresses. Every list
// is in sending order; result codes (OK, BUSY, NO CARRIER) are included
// where the family sends them.
#include <string>
#include <vector>

#include "sim/modem/data_peer.h"
#include "sim/modem/modem_options.h"

namespace quell::sim {

using Lines = std::vector<std::string>;

// The call is connected (answered here or by the far end).
Lines ConnectedLines(CallFamily family);
// The call ended by ATH, after its OK; seconds is the connected time.
Lines LocalEndLines(CallFamily family, uint32_t seconds);
// The other party ended the call (or a ringing caller gave up).
Lines RemoteEndLines(CallFamily family, uint32_t seconds);
// ATD...; was accepted and the call is being set up.
Lines DialStartLines(CallFamily family);
// The dialled call's outcome once the far end decided.
Lines DialOutcomeLines(CallFamily family, ModemOptions::DialOutcome outcome);

// A data call ended: by ATH, after its OK, or by the far end (remote).
Lines DataEndLines(CallFamily family, uint32_t seconds, bool remote);
// The result code of a dialled data call that did not connect.
std::string DataDialResult(DataDialOutcome outcome);

}  // namespace quell::sim
