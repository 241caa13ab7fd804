#include "ip/udp_port.h"

#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quell {
namespace {

// A non-blocking UDP socket bound to the port on every local address; -1
// with errno set when it cannot be.
int BoundSocket(quint16 port) {
  int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd >= 0) {
    const int both = 0;  // IPv4 peers too, as ::ffff:a.b.c.d
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &both, sizeof both);
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6;
    any.sin6_addr = in6addr_any;
    any.sin6_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0) return fd;
  } else if (errno == EAFNOSUPPORT) {
    // A system without IPv6.
    fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0) return fd;
  }
  if (fd >= 0) {
    const int reason = errno;
    ::close(fd);
    errno = reason;
  }
  return -1;
}

}  // namespace

QHostAddress UdpPort::Peer::Address() const {
  return QHostAddress(reinterpret_cast<const sockaddr*>(&address));
}

quint16 UdpPort::Peer::Port() const {
  if (address.ss_family == AF_INET6)
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
  if (address.ss_family == AF_INET)
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
  return 0;
}

UdpPort::UdpPort(Handler handler) : handler_(std::move(handler)) {}

UdpPort::~UdpPort() {
  if (!outbox_.empty()) SendBatch::Leave(this);
  notifier_.reset();
  if (fd_ >= 0) ::close(fd_);
}

bool UdpPort::Bind(quint16 port, std::string* error) {
  if (Bound()) return true;
  const int fd = BoundSocket(port);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
  Peer self;
  self.address = local;
  self.length = length;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
  fd_ = fd;
  port_ = self.Port();
  buffer_.resize(kBatch * kMaxDatagram);
  notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                   [this] { ReadReady(); });
  return true;
}

void UdpPort::Send(std::string_view bytes, const Peer& to) const {
  if (fd_ < 0) return;
  if (SendBatch::Open()) {
    if (outbox_.empty()) SendBatch::Join(const_cast<UdpPort*>(this));
    outbox_.push_back({std::string(bytes), to});
    // A long batch sends what it made so far: no reply waits for all of it.
    if (outbox_.size() >= kBatch) const_cast<UdpPort*>(this)->FlushBatch();
    return;
  }
  if (::sendto(fd_, bytes.data(), bytes.size(), MSG_DONTWAIT,
               reinterpret_cast<const sockaddr*>(&to.address), to.length) < 0) {
    // Lost, as a datagram may be; the sender repeats what was not answered.
  }
}

void UdpPort::FlushBatch() {
  std::vector<Queued> queued;
  queued.swap(outbox_);
  SendBatch::Leave(this);
  if (fd_ < 0) return;
  mmsghdr messages[kBatch];
  iovec parts[kBatch];
  for (size_t done = 0; done < queued.size();) {
    const size_t n = std::min(kBatch, queued.size() - done);
    for (size_t i = 0; i < n; ++i) {
      Queued& q = queued[done + i];
      parts[i] = {q.bytes.data(), q.bytes.size()};
      messages[i] = {};
      messages[i].msg_hdr.msg_name = &q.to.address;
      messages[i].msg_hdr.msg_namelen = q.to.length;
      messages[i].msg_hdr.msg_iov = &parts[i];
      messages[i].msg_hdr.msg_iovlen = 1;
    }
    const int sent = ::sendmmsg(fd_, messages, unsigned(n), MSG_DONTWAIT);
    // The first datagram the system refuses is lost, as UDP is; the rest
    // are sent on.
    done += sent > 0 ? size_t(sent) : 1;
  }
}

void UdpPort::ReadReady() {
  // The replies made while this batch is handled leave together.
  SendBatch batch;
  mmsghdr messages[kBatch];
  iovec parts[kBatch];
  Peer from[kBatch];
  for (size_t taken = 0; taken < kMaxPerTurn;) {
    for (size_t i = 0; i < kBatch; ++i) {
      parts[i] = {buffer_.data() + i * kMaxDatagram, kMaxDatagram};
      messages[i] = {};
      messages[i].msg_hdr.msg_name = &from[i].address;
      messages[i].msg_hdr.msg_namelen = sizeof from[i].address;
      messages[i].msg_hdr.msg_iov = &parts[i];
      messages[i].msg_hdr.msg_iovlen = 1;
    }
    const int n = ::recvmmsg(fd_, messages, kBatch, MSG_DONTWAIT, nullptr);
    // Nothing more ready (or an error, reported with no datagram): the
    // notifier fires again when there is.
    if (n <= 0) return;
    {
      // The rows of one call's datagrams share a commit.
      WakeBatch wakes;
      for (int i = 0; i < n; ++i) {
        from[i].length = messages[i].msg_hdr.msg_namelen;
        handler_(std::string_view(buffer_.data() + size_t(i) * kMaxDatagram, messages[i].msg_len),
                 from[i]);
      }
    }
    taken += size_t(n);
    if (size_t(n) < kBatch) return;
  }
}

}  // namespace quell
