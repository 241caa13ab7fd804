#pragma once
// Turns caller-identification key and guard notices sent to the station
// client into Contact ID event lines for receiver 01, line 1, and queues
// them for the console. Main thread.
#include <string>

#include "core/shared_list.h"
#include "lines/line_list.h"

namespace quell {

// Account used when the notice carries no usable object number.
inline constexpr const char* kSubstituteAccount = "9999";

// The event line queued for notice (ending in DC4), or "FALSE" when the
// notice holds no key or guard token that gives a code. With objectMode the
// code comes from the key codes of the line named in field 1; otherwise from
// the fixed key table.
std::string KeyTranslation(const std::string& notice, const LineList& lines, bool objectMode,
                           SharedTextList& consoleQueue);

}  // namespace quell
