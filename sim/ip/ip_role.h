#pragma once
// The program's "ip" role: quell-sim ip [HOST:]PORT [options].

namespace quell::sim {

// argv[0] is the role word. Returns the exit status (2 for bad arguments).
int RunIpRole(int argc, char** argv);

}  // namespace quell::sim
