#pragma once
// Event rows and a temporary working directory for the store tests.
#include <sqlite3.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <ostream>
#include <string>

#include "core/event_log.h"

namespace quell {

// A key as gtest shows it: node/run/seq.
inline void PrintTo(const RowKey& k, std::ostream* os) {
  *os << (k.node.empty() ? "-" : k.node.str()) << "/" << k.run << "/" << k.seq;
}

}  // namespace quell

namespace quell::test {

// The key of row seq in a gateway's own events file (no node, no run).
inline RowKey FileKey(int64_t seq) {
  return RowKey{{}, 0, seq};
}

inline EventRow TcpRow(const std::string& raw, EventFate console = EventFate::Pending) {
  EventRow r;
  r.receivedMs = 1'765'000'000'000;
  r.road = "tcp";
  r.line = "8097";
  r.peer = "127.0.0.1";
  r.account = "1234";
  r.raw = raw;
  r.consoleText = raw + '\x14';
  r.console = console;
  return r;
}

struct StoreDir {
  QTemporaryDir dir;
  std::string Path(const char* name = "Events.db") const {
    return dir.filePath(QString::fromLatin1(name)).toStdString();
  }
};

// Runs statements on the file at path through a connection of its own.
inline bool FileExec(const std::string& path, const char* sql) {
  sqlite3* raw = nullptr;
  const bool ok = sqlite3_open(path.c_str(), &raw) == SQLITE_OK &&
                  sqlite3_exec(raw, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(raw);
  return ok;
}

// The first column of the first row a query gives on the file at path,
// read through a connection of its own (-1: no row).
inline int64_t FileNumber(const std::string& path, const char* sql) {
  sqlite3* raw = nullptr;
  int64_t n = -1;
  if (sqlite3_open(path.c_str(), &raw) == SQLITE_OK)
    sqlite3_exec(
        raw, sql,
        [](void* to, int, char** v, char**) {
          *static_cast<int64_t*>(to) = v[0] ? atoll(v[0]) : -1;
          return 1;  // the first row only
        },
        &n, nullptr);
  sqlite3_close(raw);
  return n;
}

}  // namespace quell::test
