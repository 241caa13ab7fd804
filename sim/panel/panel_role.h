#pragma once
// The program's "panel" role: quell-sim panel PORT [options].

namespace quell::sim {

// argv[0] is the role word. Returns the exit status (2 for bad arguments).
int RunPanelRole(int argc, char** argv);

}  // namespace quell::sim
