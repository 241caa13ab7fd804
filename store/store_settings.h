#pragma once
// The optional EventStore.ini in the working directory:
//   [Store]
//   Path=Events.db   the events file, relative to the working directory
//   KeepDays=365     days a delivered event stays in the history (>= 1)
#include <string>

namespace quell {

struct StoreSettings {
  static constexpr int kDefaultKeepDays = 365;
  std::string path;  // full path of the events file
  int keepDays = kDefaultKeepDays;
  bool fromFile = false;  // EventStore.ini was there and read
};

// Reads the file; a missing file, a missing or bad value gives the default.
StoreSettings ReadStoreSettings(const std::string& workDir);

}  // namespace quell
