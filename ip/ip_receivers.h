#pragma once
// The four IP module listeners (8097, 8098, 8096, 8095). Each message of at
// most 54 bytes is answered at once, parsed into an event or supervision
// line, forwarded to the station clients and written to the console port
// or queued for it. The listeners differ only in the points of Traits.
#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <array>
#include <string>
#include <vector>

#include "console/console_device.h"
#include "console/console_output.h"
#include "core/client_feed.h"
#include "core/clock.h"
#include "core/journal.h"
#include "core/settings.h"
#include "core/trace_view.h"
#include "ip/adm_cid_parser.h"
#include "ip/ip_module_supervision.h"

namespace quell {

class ClientAccess;

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

  // Opens the four listeners; true when all of them listen.
  bool Listen();
  // Who may send ([Modules]); null admits everyone.
  void SetAccess(ClientAccess* access) { access_ = access; }
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
  // Handles one message; returns the bytes for the module and whether the
  // connection is to be closed after them.
  QByteArray HandleMessage(Listener& listener, const std::string& peer, const std::string& m,
                           bool& close);
  void Forward(const Listener& listener, const std::string& r);

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
  std::array<Listener, kIpListenerCount> listeners_;
  ClientAccess* access_ = nullptr;
};

}  // namespace quell
