#pragma once
// The program's "console" role: quell-sim console PORT [options].

namespace quell::sim {

// argv[0] is the role word. Returns the exit status (2 for bad arguments).
int RunConsoleRole(int argc, char** argv);

}  // namespace quell::sim
