#include "lines/line_steps.h"

#include "lines/modem_engine.h"
#include "lines/receiver_steps.h"

namespace quell {

StepTable MakeStepTable(const LineContext& ctx) {
  StepTable table;
  table.ModemStep = [ctx](TLineGSM& line) { ModemStep(line, ctx); };
  table.MlrStep = [ctx](TLineGSM& line) { MlrStep(line, ctx); };
  table.VortiStep = [ctx](TLineGSM& line) { VortiStep(line, ctx); };
  table.KeepAliveStep = [ctx](TLineGSM& line) { KeepAliveStep(line, ctx); };
  return table;
}

}  // namespace quell
