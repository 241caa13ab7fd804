#pragma once
// The serial settings text of a line: "COM" + port number, baud rate, data
// bits, stop-bits code, parity-checking flag and parity code, comma-separated
// without blanks ("COM3,19200,8,0,0,0").
#include <string>
#include <string_view>

#include "lines/line.h"

namespace quell {

std::string FormatSerialSettings(const TLineGSM& line);

// Stores each item of text that is present into PortNumber and PortConfig;
// an absent item leaves its value unchanged. The first item that is not a
// number fitting its field stops the parse (earlier items stay) and gives false.
bool ParseSerialSettings(TLineGSM& line, std::string_view text);

}  // namespace quell
