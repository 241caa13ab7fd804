#pragma once
// A pseudo-terminal standing in for a serial device: the test holds the
// master end and talks as the device; the gateway opens the slave path.
#include <QTemporaryDir>
#include <string>
#include <string_view>

#include "lines/port_names.h"
#include "lines/pty_pair.h"

namespace quell::test {

class PtyMaster {
 public:
  PtyMaster() { ok_ = pair_.Open(&error_); }
  bool Ok() const { return ok_; }
  const std::string& Error() const { return error_; }
  const std::string& SlavePath() const { return pair_.SlavePath(); }
  int MasterFd() const { return pair_.MasterFd(); }

  // Sends bytes as the device.
  void Send(std::string_view bytes);
  // What the device received: waits until count bytes arrived or timeoutMs
  // passed, and returns what came.
  std::string Receive(size_t count, int timeoutMs = 2000);
  // Closes the master end: the gateway's side sees a hang-up.
  void Hangup() { pair_.Close(); }

 private:
  PtyPair pair_;
  std::string error_;
  bool ok_ = false;
};

// A temporary working directory with a "ComPorts.ini" written by the test.
class PortDir {
 public:
  bool Ok() const { return dir_.isValid(); }
  std::string Path() const { return dir_.path().toStdString(); }
  // Writes the file with these contents and loads it into Names().
  void Write(std::string_view contents);
  // Maps COM<n> to path (one line per call, the file rewritten each time).
  void Map(int n, const std::string& path);
  PortNames& Names() { return names_; }

 private:
  QTemporaryDir dir_;
  std::string contents_;
  PortNames names_;
};

}  // namespace quell::test
