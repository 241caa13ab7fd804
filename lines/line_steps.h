#pragma once
// The step functions a line's worker runs, bound to what they reach.
#include "lines/line_context.h"
#include "lines/step_table.h"

namespace quell {

// Receiver and keep-alive steps bound to ctx; the modem step is left empty
// until modem lines are driven.
StepTable MakeStepTable(const LineContext& ctx);

}  // namespace quell
