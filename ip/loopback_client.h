#pragma once
// Plays the station client on our own Wardex client port when the station
// runs without one: incoming-call notices are answered or rejected from the
// object table. The notices are handed over in-process by the notice drain,
// never taken from what arrives on the socket (a relayed text or an event
// may hold the same words). Main thread.
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <string>
#include <vector>

#include "core/journal.h"
#include "core/trace_view.h"

namespace quell {

class LoopbackClient {
 public:
  // A connection that ends or fails is tried again after this long.
  static constexpr int kReconnectMs = 10000;

  LoopbackClient(Journal& journal, TraceView& trace, const std::vector<std::string>& objects);
  ~LoopbackClient();

  // Connects to the local Wardex client port.
  void Start(quint16 port);
  bool Connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }

  // True when a connection accepted from peer:peerPort is this client's own
  // socket (the local end of its connection); by socket, never by address.
  bool IsOwnPeer(const QHostAddress& peer, quint16 peerPort) const;

  // Answers a caller-ID ring notice that the drain has just sent to this
  // client's connection: the request goes out on the socket like any
  // client's.
  void AnswerRing(const std::string& notice);

  // The request answering notice: "line;ATA;object;reference" when an object
  // record holds the caller, "line;ATH;" when none does; empty for a notice
  // that is no incoming call.
  static std::string AnswerFor(const std::string& notice, const std::vector<std::string>& objects);

 private:
  void OnData();

  Journal& journal_;
  TraceView& trace_;
  const std::vector<std::string>& objects_;
  quint16 port_ = 0;
  quint16 boundPort_ = 0;  // the local end of the current connection
  QTcpSocket socket_;
  QTimer retry_;
};

}  // namespace quell
