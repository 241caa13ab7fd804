#pragma once
// Ends the Qt event loop cleanly on SIGINT and SIGTERM, so destructors run
// (links are removed, devices closed). Needs a QCoreApplication.
#include <string>

namespace quell::sim {

bool QuitOnSignals(std::string* error);

}  // namespace quell::sim
