#pragma once
// A byte relay from an IPv6 address to civetweb's loopback listener, for
// the monitoring port: Debian's civetweb is built without IPv6, so the
// relay listens on the IPv6 address and copies each admitted connection's
// bytes both ways to 127.0.0.1. It never reads HTTP: civetweb keeps every
// limit (request size, timeouts, methods) and closes a hostile client; the
// relay then closes its side.
//
// One thread of its own, non-blocking sockets and poll(): a peer outside
// the allowed blocks is closed unanswered; a connection holds at most
// kRelayBufferBytes per direction, and a side is not read while the other
// side's buffer is full. A peer's half-close is passed on; when civetweb
// ends a connection, what it sent is handed on (within the drain time) and
// both sides are closed.
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "monitoring/ipv6_block.h"

namespace quell {

inline constexpr size_t kRelayBufferBytes = 16 * 1024;

struct RelaySettings {
  std::string host;  // a literal IPv6 address, without brackets
  int port = 0;      // 0: a free port, told by Port()
  Ipv6Blocks admitted;
  // Relayed connections at once; further peers are closed unanswered. Each
  // costs three descriptors (two here, one in civetweb), and the bound is
  // lowered so that they take at most half the process's limit.
  int maxConnections = 2048;
  // How long a peer has to take what civetweb sent before it closed.
  int drainTimeoutMs = 5000;
  // Both are called on the relay's thread: a peer refused by the blocks,
  // and a line for the journal (said once: the connection bound reached).
  std::function<void()> refused;
  std::function<void(std::string)> note;
};

class Ipv6Relay {
 public:
  explicit Ipv6Relay(RelaySettings settings);
  // Wakes the thread, which closes every connection, and joins it.
  ~Ipv6Relay();
  Ipv6Relay(const Ipv6Relay&) = delete;
  Ipv6Relay& operator=(const Ipv6Relay&) = delete;

  // Binds and listens on the IPv6 address; false, with the reason, when it
  // cannot. Calling thread.
  bool Listen(std::string* error);
  int Port() const { return port_; }
  // Starts the thread, relaying to 127.0.0.1:targetPort. After Listen.
  void Start(int targetPort);

  // Connections being relayed now (any thread).
  int Connections() const { return connections_.load(); }
  // The bound actually applied.
  int MaxConnections() const { return maxConnections_; }

 private:
  void Run();

  RelaySettings settings_;
  int maxConnections_ = 0;
  int listener_ = -1;
  int wake_ = -1;  // eventfd: written once to stop the thread
  int port_ = 0;
  int targetPort_ = 0;
  std::atomic<int> connections_{0};
  std::thread thread_;
};

}  // namespace quell
