#include "monitoring/ipv6_relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <list>
#include <optional>
#include <vector>

namespace quell {
namespace {

using Steady = std::chrono::steady_clock;

// After running out of descriptors, accepting waits this long.
constexpr int kAcceptPauseMs = 1000;
// Peers taken per turn of the loop, so that a burst cannot starve the
// connections already relayed.
constexpr int kAcceptsPerTurn = 64;
// No wait of the loop is longer, whatever happens.
constexpr int kLongestWaitMs = 1000;

std::string ErrorText(int error) {
  return std::strerror(error);
}

void NoDelay(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// One direction of a relayed connection.
struct Flow {
  std::string pending;  // read and not yet written: at most kRelayBufferBytes
  bool ended = false;   // its source sent its FIN, or failed
};

struct Connection {
  int peer = -1;   // the IPv6 client
  int inner = -1;  // our connection to civetweb
  bool connecting = true;
  Flow up;              // peer to civetweb
  Flow down;            // civetweb to peer
  bool upShut = false;  // the peer's half-close passed on to civetweb
  bool done = false;    // to be closed this turn
  std::optional<Steady::time_point> drainUntil;
  // The entries of this connection in the poll array, or -1.
  int peerSlot = -1;
  int innerSlot = -1;

  Connection(int p, int i) : peer(p), inner(i) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection() {
    ::close(peer);
    ::close(inner);
  }
};

// Reads what fits into flow; false when the socket failed.
bool ReadInto(int fd, Flow& flow) {
  const size_t room = kRelayBufferBytes - flow.pending.size();
  if (room == 0 || flow.ended) return true;
  char buffer[kRelayBufferBytes];
  const ssize_t n = ::recv(fd, buffer, room, 0);
  if (n > 0) {
    flow.pending.append(buffer, size_t(n));
    return true;
  }
  if (n == 0) {
    flow.ended = true;
    return true;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
  flow.ended = true;
  return false;
}

// Writes what flow holds; false when the socket failed.
bool WriteFrom(int fd, Flow& flow) {
  while (!flow.pending.empty()) {
    const ssize_t n = ::send(fd, flow.pending.data(), flow.pending.size(), MSG_NOSIGNAL);
    if (n > 0) {
      flow.pending.erase(0, size_t(n));
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
  return true;
}

short PeerEvents(const Connection& c) {
  short events = 0;
  if (!c.up.ended && c.up.pending.size() < kRelayBufferBytes) events |= POLLIN;
  if (!c.down.pending.empty()) events |= POLLOUT;
  return events;
}

short InnerEvents(const Connection& c) {
  if (c.connecting) return POLLOUT;
  short events = 0;
  if (!c.down.ended && c.down.pending.size() < kRelayBufferBytes) events |= POLLIN;
  if (!c.up.pending.empty()) events |= POLLOUT;
  return events;
}

// civetweb's side failed or ended: nothing more goes to it, and what it
// sent is still handed to the peer.
void InnerGone(Connection& c) {
  c.down.ended = true;
  c.up.pending.clear();
  c.up.ended = true;
  c.upShut = true;
}

void Step(Connection& c, short peerEvents, short innerEvents, int drainMs, Steady::time_point now) {
  if (c.connecting && innerEvents) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(c.inner, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
      c.done = true;
      return;
    }
    c.connecting = false;
  }
  if (peerEvents && !ReadInto(c.peer, c.up)) {
    c.done = true;  // the peer reset: nothing can reach it any more
    return;
  }
  if (!c.connecting) {
    if (innerEvents && !ReadInto(c.inner, c.down)) InnerGone(c);
    if (!WriteFrom(c.inner, c.up)) InnerGone(c);
  }
  if (!WriteFrom(c.peer, c.down)) {
    c.done = true;
    return;
  }
  if (c.up.ended && c.up.pending.empty()) {
    if (c.connecting) {
      c.done = true;  // gone before civetweb was reached, having sent nothing
      return;
    }
    if (!c.upShut) {
      ::shutdown(c.inner, SHUT_WR);
      c.upShut = true;
    }
  }
  if (c.down.ended) {
    if (c.down.pending.empty()) {
      c.done = true;
    } else if (!c.drainUntil) {
      c.drainUntil = now + std::chrono::milliseconds(drainMs);
    } else if (now >= *c.drainUntil) {
      c.done = true;
    }
  }
}

// The bound on connections: each costs three descriptors (two here, one in
// civetweb), and together they take at most half the process's limit.
int BoundByDescriptors(int wanted) {
  wanted = std::max(1, wanted);
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return wanted;
  const rlim_t byLimit = std::max<rlim_t>(1, limit.rlim_cur / 2 / 3);
  return int(std::min<rlim_t>(rlim_t(wanted), byLimit));
}

}  // namespace

Ipv6Relay::Ipv6Relay(RelaySettings settings)
    : settings_(std::move(settings)),
      maxConnections_(BoundByDescriptors(settings_.maxConnections)) {}

Ipv6Relay::~Ipv6Relay() {
  if (thread_.joinable()) {
    const uint64_t one = 1;
    // An eventfd write of 1 cannot block or fail short of overflow.
    (void)!::write(wake_, &one, sizeof one);
    thread_.join();
  }
  if (listener_ >= 0) ::close(listener_);
  if (wake_ >= 0) ::close(wake_);
}

bool Ipv6Relay::Listen(std::string* error) {
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_port = htons(uint16_t(settings_.port));
  if (::inet_pton(AF_INET6, settings_.host.c_str(), &address.sin6_addr) != 1) {
    if (error) *error = "not an IPv6 address: " + settings_.host;
    return false;
  }
  const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    if (error) *error = ErrorText(errno);
    return false;
  }
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  // IPv6 only: "[::]" does not take the IPv4 port, which an IPv4 line may name.
  ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, SOMAXCONN) != 0) {
    if (error) *error = ErrorText(errno);
    ::close(fd);
    return false;
  }
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_ < 0) {
    if (error) *error = ErrorText(errno);
    ::close(fd);
    return false;
  }
  listener_ = fd;
  port_ = ntohs(address.sin6_port);
  return true;
}

void Ipv6Relay::Start(int targetPort) {
  if (listener_ < 0 || thread_.joinable()) return;
  targetPort_ = targetPort;
  thread_ = std::thread([this] { Run(); });
}

void Ipv6Relay::Run() {
  std::list<Connection> connections;
  std::vector<pollfd> polled;
  std::optional<Steady::time_point> acceptPausedUntil;
  bool boundSaid = false;
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(uint16_t(targetPort_));
  target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

  const auto accept = [&](Steady::time_point now) {
    for (int i = 0; i < kAcceptsPerTurn; ++i) {
      sockaddr_in6 from{};
      socklen_t length = sizeof from;
      const int peer = ::accept4(listener_, reinterpret_cast<sockaddr*>(&from), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (peer < 0) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
          acceptPausedUntil = now + std::chrono::milliseconds(kAcceptPauseMs);
        return;
      }
      if (!Admits(settings_.admitted, from.sin6_addr)) {
        // Counted before the close, so whoever sees the close sees the count.
        if (settings_.refused) settings_.refused();
        ::close(peer);
        continue;
      }
      if (int(connections.size()) >= maxConnections_) {
        if (!boundSaid && settings_.note)
          settings_.note("Monitoring: [" + settings_.host + "]:" + std::to_string(port_) +
                         " relays " + std::to_string(maxConnections_) +
                         " connections, the most it takes; further ones are closed unanswered");
        boundSaid = true;
        ::close(peer);
        continue;
      }
      const int inner = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      if (inner < 0) {
        ::close(peer);
        acceptPausedUntil = now + std::chrono::milliseconds(kAcceptPauseMs);
        return;
      }
      NoDelay(peer);
      NoDelay(inner);
      Connection& c = connections.emplace_back(peer, inner);
      if (::connect(inner, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0)
        c.connecting = false;
      else if (errno != EINPROGRESS)
        connections.pop_back();
    }
  };

  for (;;) {
    const Steady::time_point now = Steady::now();
    if (acceptPausedUntil && now >= *acceptPausedUntil) acceptPausedUntil.reset();
    polled.clear();
    polled.push_back({wake_, POLLIN, 0});
    polled.push_back({acceptPausedUntil ? -1 : listener_, POLLIN, 0});
    Steady::time_point wakeAt = now + std::chrono::milliseconds(kLongestWaitMs);
    if (acceptPausedUntil) wakeAt = std::min(wakeAt, *acceptPausedUntil);
    for (Connection& c : connections) {
      // A side with nothing wanted of it is left out, so that a hang-up
      // seen there cannot spin the loop.
      const short pe = PeerEvents(c), ie = InnerEvents(c);
      c.peerSlot = pe ? int(polled.size()) : -1;
      if (pe) polled.push_back({c.peer, pe, 0});
      c.innerSlot = ie ? int(polled.size()) : -1;
      if (ie) polled.push_back({c.inner, ie, 0});
      if (c.drainUntil) wakeAt = std::min(wakeAt, *c.drainUntil);
    }
    const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now).count();
    const int ready = ::poll(polled.data(), polled.size(), int(std::max<int64_t>(0, waitMs)));
    if (ready < 0 && errno != EINTR) break;
    if (polled[0].revents) break;  // stopping
    const Steady::time_point after = Steady::now();
    for (auto it = connections.begin(); it != connections.end();) {
      Connection& c = *it;
      const short pr = c.peerSlot >= 0 ? polled[size_t(c.peerSlot)].revents : 0;
      const short ir = c.innerSlot >= 0 ? polled[size_t(c.innerSlot)].revents : 0;
      if (pr || ir || c.drainUntil) Step(c, pr, ir, settings_.drainTimeoutMs, after);
      it = c.done ? connections.erase(it) : std::next(it);
    }
    if (polled[1].revents) accept(after);
    connections_.store(int(connections.size()));
  }
  connections.clear();
  connections_.store(0);
}

}  // namespace quell
