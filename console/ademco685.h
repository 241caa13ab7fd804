#pragma once
// Conversion of event and supervision lines into Ademco685 receiver lines.
#include <string>
#include <string_view>

#include "core/settings.h"

namespace quell {

// The Ademco685 line for an event line or a supervision line (any text that
// contains "@"), without the LF that precedes it on the wire and ending in
// CR. Only the first 20 characters of line are looked at. Empty when the code
// table gives no code for the event.
std::string Ademco685Line(std::string_view line, std::string_view receiverNumber,
                          const CodeTable& codes);

}  // namespace quell
