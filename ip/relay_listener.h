#pragma once
// The relay port: texts of receiver events from other software on the
// station are passed into the notice stream of the Wardex client. They go
// to the client only, never to the key translation nor the loopback
// client, so no peer on the network can make the console receive an event
// or a line answer a call. Main thread.
#include <QTcpServer>
#include <string>

#include "core/client_feed.h"
#include "core/notice_list.h"
#include "core/settings.h"
#include "core/trace_view.h"

namespace quell {

class ClientAccess;

// The hidden test button's text.
inline constexpr const char* kRelayTestText = "VORTI_1;00 0887 C4;VORTI;VORTI_EVENT|";

class RelayListener {
 public:
  RelayListener(TraceView& trace, NoticeList& notices, ClientFeed& clients,
                const PortSettings& ports);
  ~RelayListener();

  bool Listen();
  // Who may send ([Relay]); null admits everyone.
  void SetAccess(ClientAccess* access) { access_ = access; }
  bool Listening() const { return server_.isListening(); }
  quint16 Port() const { return server_.serverPort(); }

  // Passes text on while a Wardex client is connected and it names "VORTI".
  void Relay(const std::string& text);

 private:
  TraceView& trace_;
  NoticeList& notices_;
  ClientFeed& clients_;
  const PortSettings& ports_;
  QTcpServer server_;
  ClientAccess* access_ = nullptr;
};

// Appends the test text; like a relayed text it reaches only the client.
void AppendRelayTestText(NoticeList& notices);

}  // namespace quell
