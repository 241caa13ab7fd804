#pragma once
// The serial settings text of a line: "COM" + port number, baud rate, data
// bits, stop-bits code, parity-checking flag and parity code, comma-separated
// without blanks ("COM3,19200,8,0,0,0").
#include <optional>
#include <string>
#include <string_view>

#include "lines/line.h"

namespace quell {

std::string FormatSerialSettings(const TLineGSM& line);

// Stores each item of text that is present into PortNumber and PortConfig;
// an absent item leaves its value unchanged. The first item that is not a
// number fitting its field stops the parse (earlier items stay) and gives false.
bool ParseSerialSettings(TLineGSM& line, std::string_view text);

// The serial port choices of a settings dialog, as typed or chosen.
struct SerialChoice {
  std::string port;       // "COM3"
  std::string baudRate;   // "19200"
  std::string dataBits;   // "8"
  int stopBitsIndex = 0;  // 0 "1", 1 "1.5", 2 "2"; -1 nothing chosen
  int parityIndex = -1;   // 0 off, 1 odd, 2 even; -1 nothing chosen
};

// Applies the choices item by item (baud, port, data bits, stop bits,
// parity); a choice of -1 keeps the stored code. A text that is not a number
// stops there, earlier items keeping their new values: the text is returned.
// Choosing parity "off" also switches parity checking off.
std::optional<std::string> ApplySerialChoice(TLineGSM& line, const SerialChoice& choice);

}  // namespace quell
