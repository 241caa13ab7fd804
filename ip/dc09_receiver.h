#pragma once
// The SIA DC-09 receiver on UDP: each datagram is acknowledged or rejected
// with a DC-09 reply frame, parsed by the IP receivers' ADM-CID parser, and
// its event forwarded to the station clients and the console. An event is
// stored before its ACK leaves and before it goes anywhere; replies to one
// sender keep the order of its datagrams. Main thread.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "console/console_device.h"
#include "console/console_output.h"
#include "core/client_feed.h"
#include "core/clock.h"
#include "core/event_log.h"
#include "core/journal.h"
#include "core/meter.h"
#include "core/settings.h"
#include "core/trace_view.h"
#include "ip/adm_cid_parser.h"
#include "ip/reply_order.h"
#include "ip/udp_port.h"

namespace quell {

class ClientAccess;
class RefusalJournal;

class Dc09Receiver {
 public:
  // Sends one datagram back to the sender of the one being handled; may be
  // called after Handle returned (once the event is stored).
  using Reply = std::function<void(const std::string& bytes)>;

  Dc09Receiver(Clock& clock, Journal& journal, TraceView& trace, ConsoleOutput& output,
               ConsoleDevice& device, const IpModuleSettings& settings, const PortSettings& ports,
               ClientFeed& clients, AdmCidParser& parser);

  // Binds the port on all local addresses; false (traced) when it cannot.
  bool Listen();
  // Who may send ([Modules]); null admits everyone.
  void SetAccess(ClientAccess* access) { access_ = access; }
  // Datagrams refused or ignored are explained here (none: not journalled).
  void SetRefusals(RefusalJournal* refusals) { refusals_ = refusals; }
  bool Listening() const { return udp_.Bound(); }
  quint16 Port() const { return udp_.LocalPort(); }

  // Events are stored here before they are acknowledged (none: at once).
  void SetEventLog(EventLog* log) { log_ = log; }
  // Counts each ACK or NACK frame with its time since the frame arrived
  // (null: not counted).
  void SetMeter(Meter* meter) { meter_ = meter; }

  // One datagram from sender (its address and port as text).
  void Handle(const std::string& datagram, const Reply& reply, const std::string& sender = {});

  // Hands every datagram but a bare "REQ" probe to the standard receiver
  // (switched on by "\DC09.ini"); its journal line is written here first.
  using Standard =
      std::function<void(std::string_view datagram, const Reply& reply, const std::string& sender)>;
  void SetStandard(Standard standard) { standard_ = std::move(standard); }

 private:
  // One datagram off the port.
  void Received(std::string_view datagram, const UdpPort::Peer& from);
  // What a stored event does: forwarding and the console.
  void Deliver(const std::string& r, const RowKey& key);
  // The journal line of a datagram refused (what: "Refused") or ignored.
  void JournalRefusal(const std::string& sender, const std::string& account, const char* what,
                      std::string_view reason);
  ReplyOrder& OrderFor(const std::string& sender);
  void Released(const std::string& sender, uint64_t ticket, bool stored);

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
  EventLog* log_ = nullptr;
  Meter* meter_ = nullptr;
  // Senders with a reply waiting for the store.
  std::map<std::string, ReplyOrder> senders_;
  ClientAccess* access_ = nullptr;
  RefusalJournal* refusals_ = nullptr;
  UdpPort udp_{
      [this](std::string_view datagram, const UdpPort::Peer& from) { Received(datagram, from); }};
};

}  // namespace quell
