#include "sim/modem/call_reports.h"

namespace quell::sim {
namespace {

// Call end report with its cause code (16 normal clearing, 17 busy, 19 no answer).
std::string CaretEnd(uint32_t seconds, int cause) {
  return "^CEND:1," + std::to_string(seconds) + ",104," + std::to_string(cause);
}

}  // namespace

Lines ConnectedLines(CallFamily family) {
  switch (family) {
    case CallFamily::Caret:
      return {"^CONN:1,0"};
    case CallFamily::Ecav:
      return {"*ECAV: 1,3,1"};
    case CallFamily::Wind:
      return {"+WIND: 9"};
  }
  return {};
}

Lines LocalEndLines(CallFamily family, uint32_t seconds) {
  switch (family) {
    case CallFamily::Caret:
      return {CaretEnd(seconds, 16)};
    case CallFamily::Ecav:
      return {"*ECAV: 1,0,1"};
    case CallFamily::Wind:
      return {"+WIND: 6,1"};
  }
  return {};
}

Lines RemoteEndLines(CallFamily family, uint32_t seconds) {
  Lines lines = LocalEndLines(family, seconds);
  lines.push_back("NO CARRIER");
  return lines;
}

Lines DialStartLines(CallFamily family) {
  switch (family) {
    case CallFamily::Caret:
      return {"OK", "^ORIG:1,0"};
    case CallFamily::Ecav:
      return {"OK", "*ECAV: 1,2,1"};
    case CallFamily::Wind:  // the OK waits for the answer
      return {"+WIND: 5,1", "+WIND: 2"};
  }
  return {};
}

Lines DialOutcomeLines(CallFamily family, ModemOptions::DialOutcome outcome) {
  using O = ModemOptions::DialOutcome;
  switch (family) {
    case CallFamily::Caret:
      if (outcome == O::Answer) return {"^CONN:1,0"};
      if (outcome == O::Busy) return {CaretEnd(0, 17)};
      return {CaretEnd(0, 19), "NO CARRIER"};
    case CallFamily::Ecav:
      if (outcome == O::Answer) return {"*ECAV: 1,3,1"};
      if (outcome == O::Busy) return {"*ECAV: 1,7,1", "BUSY"};
      return {"*ECAV: 1,0,1", "NO CARRIER"};
    case CallFamily::Wind:
      // ATD is still open here, so every outcome ends it with a result code.
      if (outcome == O::Answer) return {"+WIND: 9", "OK"};
      if (outcome == O::Busy) return {"BUSY"};
      return {"+WIND: 6,1", "NO CARRIER"};
  }
  return {};
}

Lines DataEndLines(CallFamily family, uint32_t seconds, bool remote) {
  Lines lines;
  if (family == CallFamily::Caret) lines.push_back(CaretEnd(seconds, 16));
  if (remote) lines.push_back("NO CARRIER");
  return lines;
}

std::string DataDialResult(DataDialOutcome outcome) {
  switch (outcome) {
    case DataDialOutcome::Answer:
      return "CONNECT 9600";
    case DataDialOutcome::Busy:
      return "BUSY";
    case DataDialOutcome::NoAnswer:
      return "NO ANSWER";
    case DataDialOutcome::NoCarrier:
      return "NO CARRIER";
    case DataDialOutcome::NoDialtone:
      return "NO DIALTONE";
    case DataDialOutcome::Error:
      return "ERROR";
  }
  return "ERROR";
}

}  // namespace quell::sim
