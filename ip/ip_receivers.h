#pragma once
// The four IP module listeners (8097, 8098, 8096, 8095). Each message of at
// most 54 bytes is parsed into an event or supervision line; an event is
// stored first, and only once its row is on disk is it forwarded to the
// station clients, written to the console port or queued for it, and
// acknowledged. Replies on one connection keep the order of its messages.
// The listeners differ only in the points of Traits.
#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

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
#include "ip/ip_module_supervision.h"
#include "ip/reply_order.h"

namespace quell {

class ClientAccess;
class RefusalJournal;

class IpReceivers final : public IpSupervision {
 public:
  static constexpr qint64 kMaxMessage = 54;

  IpReceivers(Clock& clock, Journal& journal, TraceView& trace, ConsoleOutput& output,
              ConsoleDevice& device, const ConsoleSettings& console,
              const IpModuleSettings& settings, const PortSettings& ports, ClientFeed& clients,
              AdmCidParser& parser, IpModuleSupervision& modules);
  ~IpReceivers() override;
  IpReceivers(const IpReceivers&) = delete;
  IpReceivers& operator=(const IpReceivers&) = delete;

  // Events are stored here before they are acknowledged (none: at once).
  void SetEventLog(EventLog* log) { log_ = log; }
  // Counts each reply with its time since the message arrived (null: not counted).
  void SetMeter(Meter* meter) { meter_ = meter; }

  // Opens the four listeners; true when all of them listen.
  bool Listen();
  // Who may send ([Modules]); null admits everyone.
  void SetAccess(ClientAccess* access) { access_ = access; }
  // Messages answered NACK are explained here (none: not journalled).
  void SetRefusals(RefusalJournal* refusals) { refusals_ = refusals; }
  bool Listening(IpListener listener) const;
  quint16 Port(IpListener listener) const;

  // IpSupervision, for the console output tick.
  int ConnectionCount(IpListener listener) const override;
  void CloseConnections(IpListener listener) override;
  void LossCheck() override { modules_.LossCheck(); }

 private:
  struct Traits {
    const char* traceSeparator;
    bool supervisionIsEvent;    // 8098: a "@" result is forwarded like an event
    bool ademcoSupervision;     // 8097: a "@" result goes to an Ademco685 console
    bool queueNeedsNoConsole2;  // 8097: queue only without a second-console client
    bool timedGreeting;         // 8096, 8095
  };
  struct Listener {
    IpListener id;
    const int* portSetting = nullptr;  // the engine's port setting
    Traits traits;
    QTcpServer server;
    std::vector<QTcpSocket*> connections;
  };

  void Accept(Listener& listener);
  void Drop(Listener& listener, QTcpSocket* socket);
  void OnReadable(Listener& listener, QTcpSocket* socket);
  // The journal line of a message answered NACK, within the rate limit.
  void JournalNack(const Listener& listener, const std::string& peer, const std::string& m,
                   std::string_view reason);
  // Handles one message; its reply goes out through the connection's
  // order. Returns whether the connection closes after that reply.
  bool HandleMessage(Listener& listener, QTcpSocket* socket, const std::string& peer,
                     std::string m);
  // What a stored event does: forwarding and the console.
  void Deliver(const Listener& listener, const std::string& r, const RowKey& key);

  Clock& clock_;
  Journal& journal_;
  TraceView& trace_;
  ConsoleOutput& output_;
  ConsoleDevice& device_;
  const ConsoleSettings& console_;
  const IpModuleSettings& settings_;
  ClientFeed& clients_;
  AdmCidParser& parser_;
  IpModuleSupervision& modules_;
  EventLog* log_ = nullptr;
  Meter* meter_ = nullptr;
  std::array<Listener, kIpListenerCount> listeners_;
  ClientAccess* access_ = nullptr;
  RefusalJournal* refusals_ = nullptr;
  // Per connection: replies waiting for earlier ones; set when a close follows.
  struct Replies {
    ReplyOrder order;
    bool closing = false;
  };
  std::map<QTcpSocket*, std::shared_ptr<Replies>> replies_;
};

}  // namespace quell
