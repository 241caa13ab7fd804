#pragma once
// The processing steps a line worker runs, one per line engine, and the
// choice of step by line type and waiting method.
#include <functional>
#include <string_view>

#include "core/text.h"

namespace quell {

class TLineGSM;

using LineStep = std::function<void(TLineGSM&)>;

// Supplied by whoever creates a worker; an empty entry runs nothing.
struct StepTable {
  LineStep ModemStep;      // modem command and response engine
  LineStep MlrStep;        // MLR2 (and KESTRAVO) receiver
  LineStep VortiStep;      // VORTI receiver
  LineStep KeepAliveStep;  // console line's acknowledgement watch
};

enum class StepKind { None, Modem, Mlr, Vorti, KeepAlive };

// First match wins; the "GSM" test is a substring test, the others exact.
// Timer-paced RxEvent 0 serves every receiver type; RxEvent 1 and 2 leave
// "KESTRAVO" and "VCOM" idle; other RxEvent values run no step.
inline StepKind SelectStep(std::string_view lineType, int rxEvent) {
  if (rxEvent != 0 && rxEvent != 1 && rxEvent != 2) return StepKind::None;
  const bool tableA = rxEvent == 0;
  if (Contains(lineType, "GSM")) return StepKind::Modem;
  if (lineType == "MLR") return StepKind::Mlr;
  if (lineType == "KESTRAVO") return tableA ? StepKind::Mlr : StepKind::None;
  if (lineType == "VORTI") return StepKind::Vorti;
  if (lineType == "VCOM") return tableA ? StepKind::KeepAlive : StepKind::None;
  return StepKind::None;
}

inline const LineStep* StepFor(const StepTable& table, StepKind kind) {
  switch (kind) {
    case StepKind::Modem:
      return &table.ModemStep;
    case StepKind::Mlr:
      return &table.MlrStep;
    case StepKind::Vorti:
      return &table.VortiStep;
    case StepKind::KeepAlive:
      return &table.KeepAliveStep;
    case StepKind::None:
      break;
  }
  return nullptr;
}

}  // namespace quell
