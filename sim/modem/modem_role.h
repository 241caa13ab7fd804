#pragma once
// The program's "modem" role: quell-sim modem PORT [options].

namespace quell::sim {

// argv[0] is the role word. Returns the exit status (2 for bad arguments).
int RunModemRole(int argc, char** argv);

}  // namespace quell::sim
