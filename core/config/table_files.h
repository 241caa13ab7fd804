#pragma once
// Tables read once at start-up, line by line. A missing or unreadable file
// gives an empty table; start-up carries on.
#include <string>
#include <vector>

#include "core/settings.h"

namespace quell {

// "\objects.txt": TAB-separated object records. Object table mode is on when
// it holds at least one line.
std::vector<std::string> ReadObjectTable(const std::string& workDir);

// "\codes.txt": the Contact ID to Ademco685 code table.
CodeTable ReadCodeTable(const std::string& workDir);

// "\info.slv": "#"-separated data-call panel records.
std::vector<std::string> ReadPanelTable(const std::string& workDir);

// "\paramtest" exists: the trace view is shown.
bool TraceViewRequested(const std::string& workDir);

}  // namespace quell
