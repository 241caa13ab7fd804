#pragma once
// The SIA DC-09 receiver on UDP: each datagram is acknowledged or rejected
// with a DC-09 reply frame, parsed by the IP receivers' ADM-CID parser, and
// its event forwarded to the station clients and the console. Datagrams are
// handled one at a time on the main thread; nothing is kept between them.
#include <QUdpSocket>
#include <functional>
#include <string>

#include "console/console_device.h"
#include "console/console_output.h"
#include "core/client_feed.h"
#include "core/clock.h"
#include "core/journal.h"
#include "core/settings.h"
#include "core/trace_view.h"
#include "ip/adm_cid_parser.h"

namespace quell {

class ClientAccess;

class Dc09Receiver {
 public:
  // Sends one datagram back to the sender of the one being handled.
  using Reply = std::function<void(const std::string& bytes)>;

  Dc09Receiver(Clock& clock, Journal& journal, TraceView& trace, ConsoleOutput& output,
               ConsoleDevice& device, const IpModuleSettings& settings, const PortSettings& ports,
               ClientFeed& clients, AdmCidParser& parser);

  // Binds the port on all local addresses; false (traced) when it cannot.
  bool Listen();
  // Who may send ([Modules]); null admits everyone.
  void SetAccess(ClientAccess* access) { access_ = access; }
  bool Listening() const { return socket_.state() == QAbstractSocket::BoundState; }
  quint16 Port() const { return socket_.localPort(); }

  // One datagram.
  void Handle(const std::string& datagram, const Reply& reply);

  // Hands every datagram but a bare "REQ" probe to the standard receiver
  // (switched on by "\DC09.ini"); its journal line is written here first.
  using Standard = std::function<void(std::string_view datagram, const Reply& reply)>;
  void SetStandard(Standard standard) { standard_ = std::move(standard); }

 private:
  void ReadPending();

  Clock& clock_;
  Journal& journal_;
  TraceView& trace_;
  ConsoleOutput& output_;
  ConsoleDevice& device_;
  const IpModuleSettings& settings_;
  const PortSettings& ports_;
  ClientFeed& clients_;
  AdmCidParser& parser_;
  const uint32_t startTick_;
  Standard standard_;
  QUdpSocket socket_;
  ClientAccess* access_ = nullptr;
};

}  // namespace quell
