#pragma once
// Event rows and a temporary working directory for the store tests.
#include <QTemporaryDir>
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

}  // namespace quell::test
