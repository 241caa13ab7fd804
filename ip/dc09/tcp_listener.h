#pragma once
// DC-09 over TCP on the port "\DC09.ini" names: no greeting on connect;
// each frame (LF to CR) is served by the standard receiver and answered on
// its connection in order; an unfinished frame over the framer's limit gets
// NAK and is discarded; a connection idle for two minutes is closed.
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>
#include <unordered_map>

#include "core/clock.h"
#include "core/journal.h"
#include "core/trace_view.h"
#include "ip/dc09/standard_receiver.h"
#include "ip/dc09/stream_framer.h"

namespace quell {

class ClientAccess;

class Dc09TcpListener {
 public:
  static constexpr uint32_t kIdleMs = 120'000;
  static constexpr int kIdleCheckMs = 5'000;

  Dc09TcpListener(Clock& clock, Journal& journal, TraceView& trace, StandardDc09Receiver& receiver);
  ~Dc09TcpListener();
  Dc09TcpListener(const Dc09TcpListener&) = delete;
  Dc09TcpListener& operator=(const Dc09TcpListener&) = delete;

  // Peers the "[Modules]" allowlist refuses are closed at accept.
  void SetAccess(ClientAccess* access) { access_ = access; }
  // port 0 picks a free one (tests). False (traced) when it cannot listen.
  bool Listen(int port);
  quint16 Port() const { return server_.serverPort(); }
  size_t ConnectionCount() const { return connections_.size(); }

  // Timer handler: closes connections idle for kIdleMs or longer.
  void CloseIdle();

 private:
  struct Connection {
    Dc09StreamFramer framer;
    uint32_t lastTick = 0;
  };
  void Accept();
  void Read(QTcpSocket* socket);

  Clock& clock_;
  Journal& journal_;
  TraceView& trace_;
  StandardDc09Receiver& receiver_;
  ClientAccess* access_ = nullptr;
  QTcpServer server_;
  QTimer idleTimer_;
  std::unordered_map<QTcpSocket*, Connection> connections_;
};

}  // namespace quell
