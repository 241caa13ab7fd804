#pragma once
// "\paramv": the console output port, written by the console port dialog as
// "_;VP;_;COM5,9600,8,0,0,0;ONLINE;Ademco685;01;". At start-up the line is
// read by content, not by position, except for the serial settings.
#include <string>

#include "core/settings.h"

namespace quell {

struct ConsolePortFile {
  bool exists = false;   // the file could be read
  bool online = false;   // console output is switched on at the first supervision tick
  std::string portKind;  // "VP" or "RP"; empty when the file is missing
  OutputProtocol protocol = OutputProtocol::ContactId;
  std::string serialText = "FALSE";  // field 4, the console port's serial settings text
};

// Reads the first line of the file's lines.
ConsolePortFile ParseConsolePortFile(const std::string& firstLine);

ConsolePortFile ReadConsolePortFile(const std::string& workDir);

}  // namespace quell
