#pragma once
// Plays the station client on our own Wardex client port when the station
// runs without one: incoming-call notices are answered or rejected from the
// object table. Main thread.
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
  QTcpSocket socket_;
  QTimer retry_;
};

}  // namespace quell
