#pragma once
// The station client listeners: the Wardex client port (requests and
// notices) and the second console port (a copy of the console feed whose ACK
// bytes count as the console's). Whatever the gateway sends on its own goes
// to the earliest connection still open on the port (connection index 0).
#include <QTcpServer>
#include <QTcpSocket>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "console/console_output.h"
#include "core/client_feed.h"
#include "core/journal.h"
#include "core/settings.h"
#include "core/trace_view.h"
#include "ip/client_access.h"

namespace quell {

class ClientPorts final : public ClientFeed {
 public:
  // Sends a reply to the connection that asked (nothing if it has gone).
  using Reply = std::function<void(const std::string& text)>;
  using RequestHandler = std::function<void(const std::string& request, const Reply& reply)>;

  ClientPorts(Journal& journal, TraceView& trace, ConsoleOutput& output, const PortSettings& ports);
  ~ClientPorts() override;
  ClientPorts(const ClientPorts&) = delete;
  ClientPorts& operator=(const ClientPorts&) = delete;

  // Opens both listeners, the second console port first; true when both
  // listen. A failure is traced as "Listen <port>: <error>".
  bool Listen();
  // The second console port has a fixed port and opens with the IP module
  // listeners; the Wardex client port opens once "quellport" has been read,
  // so a port taken there cannot take the console feed's.
  bool ListenConsole2();
  bool ListenWardex();
  bool WardexListening() const { return wardex_.server.isListening(); }
  bool Console2Listening() const { return console2_.server.isListening(); }
  quint16 WardexPort() const { return wardex_.server.serverPort(); }
  quint16 Console2Port() const { return console2_.server.serverPort(); }

  // Who may connect (both ports take [Clients]); null admits everyone.
  void SetAccess(ClientAccess* access) { access_ = access; }
  // True when connection index 0 of the Wardex client port is the
  // gateway's own loopback client.
  bool FirstWardexIsOwn() const;

  // Sees every text the gateway sends on its own (not replies), after it was
  // written: tests check the wire forms with it. Production sets none.
  using SendObserver =
      std::function<void(bool wardex, NoticeOrigin origin, const std::string& text)>;
  void SetSendObserver(SendObserver observer) { observer_ = std::move(observer); }

  // Receives every Wardex client request after its trace line.
  void SetRequestHandler(RequestHandler handler) { onRequest_ = std::move(handler); }

  // A client that leaves more than this of what was sent to it unread is not
  // reading: it is let go (journalled as its disconnect), so the gateway's
  // memory stays bounded and the next client gets what follows.
  static constexpr qint64 kMaxUnsentBytes = 4 * 1024 * 1024;
  void SetMaxUnsentBytes(qint64 bytes) { maxUnsent_ = bytes; }

  // Counts may be read from any thread; sends are main-thread only.
  int WardexClientCount() const override { return wardex_.count.load(); }
  bool SendToFirstWardex(NoticeOrigin origin, const std::string& text) override {
    return SendToFirst(wardex_, origin, text);
  }
  int Console2ClientCount() const override { return console2_.count.load(); }
  void SendToFirstConsole2(const std::string& text) override {
    SendToFirst(console2_, NoticeOrigin::IpEvent, text);
  }
  void SendToFirstConsole2Tracked(const std::string& text,
                                  std::function<void(bool sent)> sent) override;

 private:
  struct Port {
    QTcpServer server;
    std::vector<QTcpSocket*> connections;  // in order of connection
    std::atomic<int> count{0};
    const char* connectText;
    const char* disconnectText;
  };

  bool ListenOn(Port& port, int portNumber);
  void Accept(Port& port);
  void Drop(Port& port, QTcpSocket* socket, const std::string& peer);
  void OnData(Port& port, QTcpSocket* socket);
  bool SendToFirst(Port& port, NoticeOrigin origin, const std::string& text);
  void LetGoOfStuckClients(Port& port);
  void OnConsole2BytesWritten(QTcpSocket* socket, qint64 bytes);

  // Bytes handed to a second-console connection and those that have left,
  // with the sends waiting to hear that their last byte left.
  struct Unsent {
    qint64 queued = 0;
    qint64 left = 0;
    std::deque<std::pair<qint64, std::function<void(bool)>>> waiting;
  };
  std::map<QTcpSocket*, Unsent> console2Unsent_;

  Journal& journal_;
  TraceView& trace_;
  ConsoleOutput& output_;
  const PortSettings& ports_;
  RequestHandler onRequest_;
  ClientAccess* access_ = nullptr;
  SendObserver observer_;
  qint64 maxUnsent_ = kMaxUnsentBytes;
  Port wardex_;
  Port console2_;
};

}  // namespace quell
