#pragma once
// The standard DC-09 receiver as the gateway runs it: read from
// "\DC09.ini" and "\SiaToCid.txt" at start-up, put in front of the UDP
// receiver and, with a TcpPort, listening on TCP as well. Without
// "\DC09.ini" nothing of it exists.
#include <memory>
#include <string>
#include <vector>

#include "ip/dc09/standard_receiver.h"
#include "ip/dc09/tcp_listener.h"
#include "ip/dc09_receiver.h"

namespace quell {

class ClientAccess;

// The journal line that confirms what "\DC09.ini" and the SIA table hold.
std::string Dc09FileSummary(const Dc09Config& config, const SiaToCidTable& sia);

class StandardDc09 {
 public:
  // nullptr when "\DC09.ini" is absent. Problems with either file go to the
  // journal; portsInUse are the gateway's other listening ports; access
  // (may be null) guards the TCP port with the "[Modules]" allowlist.
  static std::unique_ptr<StandardDc09> Start(const std::string& workDir,
                                             StandardDc09Receiver::Parts parts, Dc09Receiver& udp,
                                             const std::vector<int>& portsInUse,
                                             ClientAccess* access = nullptr);

  StandardDc09Receiver& receiver() { return receiver_; }
  // Null without a TcpPort.
  Dc09TcpListener* tcp() { return tcp_.get(); }

  StandardDc09(StandardDc09Receiver::Parts parts, Dc09Config config, SiaToCidTable sia);

 private:
  StandardDc09Receiver receiver_;
  std::unique_ptr<Dc09TcpListener> tcp_;
};

}  // namespace quell
