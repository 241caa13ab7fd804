#pragma once
// A UDP port read in batches: the datagrams that are ready are taken a
// batch at a time with one recvmmsg call, where QUdpSocket makes three
// calls a datagram. Bound on all local addresses, IPv6 and IPv4 on one
// socket where the system has IPv6. Replies go back to the address a
// datagram came from, as the system gave it. Replies made while a
// SendBatch is open (while a batch is read, or commits are completed)
// leave together with one sendmmsg call; rows a batch hands to a store
// wake its thread once, after the batch (a WakeBatch for each call's
// datagrams). Main thread.
#include <sys/socket.h>

#include <QHostAddress>
#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/batch_scope.h"

namespace quell {

class UdpPort : private SendBatch::Member {
 public:
  // Where a datagram came from.
  struct Peer {
    sockaddr_storage address{};
    socklen_t length = 0;
    QHostAddress Address() const;
    quint16 Port() const;
  };
  using Handler = std::function<void(std::string_view datagram, const Peer& from)>;

  static constexpr size_t kBatch = 32;           // datagrams a call
  static constexpr size_t kMaxDatagram = 65536;  // above the largest UDP payload
  // Datagrams taken before the event loop runs again; the rest wait for
  // the next turn.
  static constexpr size_t kMaxPerTurn = 1024;
  // The receive buffer asked for: what arrives while the event loop is
  // busy waits there, not dropped (the system's default holds about 200
  // small datagrams). The system caps it at net.core.rmem_max.
  static constexpr int kReceiveBuffer = 4 << 20;

  explicit UdpPort(Handler handler);
  ~UdpPort();
  UdpPort(const UdpPort&) = delete;
  UdpPort& operator=(const UdpPort&) = delete;

  // False, with the system's reason, when the port cannot be bound.
  bool Bind(quint16 port, std::string* error);
  bool Bound() const { return fd_ >= 0; }
  quint16 LocalPort() const { return port_; }
  // One datagram to a peer; one the system refuses is lost, as UDP is.
  // Queued while a batch is open, in the order sent.
  void Send(std::string_view bytes, const Peer& to) const;

 private:
  struct Queued {
    std::string bytes;
    Peer to;
  };
  void ReadReady();
  void FlushBatch() override;

  Handler handler_;
  int fd_ = -1;
  quint16 port_ = 0;
  std::vector<char> buffer_;  // kBatch datagrams of kMaxDatagram, made at Bind
  std::unique_ptr<QSocketNotifier> notifier_;
  mutable std::vector<Queued> outbox_;  // replies of the open batch
};

}  // namespace quell
