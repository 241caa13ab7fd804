#pragma once
// A few lines for whoever started the gateway by hand: where it runs, which
// ports listen, each line's device and whether it opened, the console port,
// and where to go next. The journal keeps its own lines; this goes to
// standard error only.
#include <string>

namespace quell {

class Engine;

// UTF-8 text, one item a line, each ending in '\n'. Meant for the moment the
// lines were first opened (the first supervision tick).
std::string StartupSummary(Engine& engine);

}  // namespace quell
