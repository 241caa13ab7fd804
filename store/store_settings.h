#pragma once
// The optional EventStore.ini in the working directory:
//   [Store]
//   Path=Events.db       the events file, relative to the working directory
//   KeepDays=365         days a delivered event stays in the history (>= 1)
//   Backend=sqlite       or postgresql: the history on a database server
//   Conninfo=            a libpq connection string (empty: libpq's defaults)
//   Node=                this gateway's name in a shared history
//                        ([A-Za-z0-9_.-]{1,64}; default: the host name)
#include <string>

namespace quell {

enum class StoreBackend { Sqlite, Postgresql };

struct StoreSettings {
  static constexpr int kDefaultKeepDays = 365;
  std::string path;  // full path of the events file
  int keepDays = kDefaultKeepDays;
  bool fromFile = false;  // EventStore.ini was there and read
  StoreBackend backend = StoreBackend::Sqlite;
  std::string conninfo;
  std::string node;
  // Why the backend settings cannot be used (an unknown Backend, a Conninfo
  // libpq refuses, a bad Node); empty when they can. Such settings never
  // fall back to the events file: the store stays not writable.
  std::string problem;
};

// Reads the file; a missing file, a missing or bad Path or KeepDays gives
// the default.
StoreSettings ReadStoreSettings(const std::string& workDir);

// True for a name of [A-Za-z0-9_.-], 1 to 64 characters.
bool ValidNodeName(const std::string& name);

}  // namespace quell
