#pragma once
// The program's "dc09" role: quell-sim dc09 [HOST:]PORT [options].

namespace quell::sim {

// argv[0] is the role word. Returns the exit status (2 for bad arguments).
int RunDc09Role(int argc, char** argv);

}  // namespace quell::sim
