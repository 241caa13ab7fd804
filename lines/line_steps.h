#pragma once
// The step functions a line's worker runs, bound to what they reach.
#include "lines/line_context.h"
#include "lines/step_table.h"

namespace quell {

// The modem, receiver and keep-alive steps bound to ctx.
StepTable MakeStepTable(const LineContext& ctx);

}  // namespace quell
