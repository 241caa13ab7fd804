#include "ip/ip_receivers.h"

#include <QPointer>
#include <algorithm>

#include "core/refusal_journal.h"
#include "core/text.h"
#include "core/wire.h"
#include "ip/client_access.h"
#include "ip/event_delivery.h"
#include "ip/greeting.h"
#include "ip/listen_backlog.h"
#include "ip/peer_address.h"

namespace quell {

IpReceivers::IpReceivers(Clock& clock, Journal& journal, TraceView& trace, ConsoleOutput& output,
                         ConsoleDevice& device, const ConsoleSettings& console,
                         const IpModuleSettings& settings, const PortSettings& ports,
                         ClientFeed& clients, AdmCidParser& parser, IpModuleSupervision& modules)
    : clock_(clock),
      journal_(journal),
      trace_(trace),
      output_(output),
      device_(device),
      console_(console),
      settings_(settings),
      clients_(clients),
      parser_(parser),
      modules_(modules) {
  const struct {
    IpListener id;
    const int* port;  // read when listening, so settings made after construction count
    Traits traits;
  } setup[kIpListenerCount] = {
      {IpListener::P8097, &ports.ip8097, {" : ", false, true, true, false}},
      {IpListener::P8098, &ports.ip8098, {" :: ", true, false, false, false}},
      {IpListener::P8096, &ports.ip8096, {" : ", false, false, false, true}},
      {IpListener::P8095, &ports.ip8095, {" : ", false, false, false, true}},
  };
  for (const auto& s : setup) {
    Listener& l = listeners_[size_t(s.id)];
    l.id = s.id;
    l.portSetting = s.port;
    l.traits = s.traits;
    PrepareListener(l.server);
    QObject::connect(&l.server, &QTcpServer::newConnection, &l.server, [this, &l] { Accept(l); });
  }
}

IpReceivers::~IpReceivers() {
  // The sockets die with their server; keep their last signals away from
  // this half-destroyed object.
  for (Listener& l : listeners_)
    for (QTcpSocket* socket : l.server.findChildren<QTcpSocket*>()) socket->disconnect();
}

bool IpReceivers::Listen() {
  bool all = true;
  for (Listener& l : listeners_) {
    if (l.server.isListening()) continue;
    if (!l.server.listen(QHostAddress::Any, quint16(*l.portSetting))) {
      trace_.Append("Listen " + std::to_string(*l.portSetting) + ": " +
                    l.server.errorString().toStdString());
      all = false;
    }
  }
  return all;
}

bool IpReceivers::Listening(IpListener listener) const {
  return listeners_[size_t(listener)].server.isListening();
}

quint16 IpReceivers::Port(IpListener listener) const {
  return listeners_[size_t(listener)].server.serverPort();
}

int IpReceivers::ConnectionCount(IpListener listener) const {
  return int(listeners_[size_t(listener)].connections.size());
}

void IpReceivers::CloseConnections(IpListener listener) {
  const std::vector<QTcpSocket*> open = listeners_[size_t(listener)].connections;
  for (QTcpSocket* socket : open) {
    socket->disconnectFromHost();
    // A peer that does not take our last bytes is not waited for.
    if (socket->state() != QAbstractSocket::UnconnectedState) socket->abort();
  }
}

void IpReceivers::Accept(Listener& l) {
  while (QTcpSocket* socket = l.server.nextPendingConnection()) {
    // Refused before it counts as a connection or gets its greeting.
    if (RefusedAtAccept(access_, AccessGroup::Modules, socket)) continue;
    l.connections.push_back(socket);
    replies_[socket] = std::make_shared<Replies>();
    QObject::connect(socket, &QTcpSocket::readyRead, socket,
                     [this, &l, socket] { OnReadable(l, socket); });
    QObject::connect(socket, &QTcpSocket::disconnected, socket,
                     [this, &l, socket] { Drop(l, socket); });
    // A socket error closes the connection and is otherwise ignored.
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket,
                     [this, &l, socket](QAbstractSocket::SocketError) {
                       socket->abort();
                       Drop(l, socket);
                     });
    if (socket->state() != QAbstractSocket::ConnectedState) {
      Drop(l, socket);
      continue;
    }
    // Each reply leaves at once: with Nagle's rule the second of two
    // replies released together waited for the module's delayed TCP ACK
    // (about 40 ms). The bytes are the same.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->write(Greeting(l.traits.timedGreeting, clock_));
  }
}

void IpReceivers::Drop(Listener& l, QTcpSocket* socket) {
  auto it = std::find(l.connections.begin(), l.connections.end(), socket);
  if (it == l.connections.end()) return;
  l.connections.erase(it);
  replies_.erase(socket);  // replies still waiting for the store are not sent
  socket->deleteLater();
}

// A burst longer than one message is handled as several messages.
void IpReceivers::OnReadable(Listener& l, QTcpSocket* socket) {
  QPointer<QTcpSocket> alive(socket);
  const std::string peer = PeerAddressText(*socket);
  while (alive && socket->state() == QAbstractSocket::ConnectedState &&
         socket->bytesAvailable() > 0) {
    auto replies = replies_.find(socket);
    // After a message that closes the connection nothing more is read.
    if (replies == replies_.end() || replies->second->closing) return;
    const QByteArray chunk = socket->read(kMaxMessage);
    if (chunk.isEmpty()) break;
    if (HandleMessage(l, socket, peer, std::string(chunk.constData(), size_t(chunk.size()))))
      return;
  }
}

bool IpReceivers::HandleMessage(Listener& l, QTcpSocket* socket, const std::string& peer,
                                std::string m) {
  trace_.Append(" " + peer + l.traits.traceSeparator + m);
  trace_.Append(std::to_string(m.size()));
  JournalIpMessage(journal_, clock_, m);
  output_.ResetIdle(l.id);

  const SteadyTime arrived = meter_ ? std::chrono::steady_clock::now() : SteadyTime{};
  std::shared_ptr<Replies> replies = replies_[socket];
  std::string r;
  std::string reply;
  bool stores = false;
  if (Contains(m, "FUJ")) {
    reply = "ACK";
  } else {
    r = parser_.Parse(m);
    const bool rejected = IsFalse(r);
    const bool supervision = Contains(r, "@");
    if (rejected || (supervision && !l.traits.supervisionIsEvent)) {
      if (rejected) {
        reply = "NACK";
        JournalNack(l, peer, m, parser_.Rejection());
        if (device_.PortOpen()) device_.Write(kTroubleLine);
      }
      if (supervision && l.traits.ademcoSupervision &&
          console_.protocol == OutputProtocol::Ademco685) {
        const std::string a = output_.Ademco685(r);
        if (a.size() > 1) {
          device_.Write(std::string(1, kLF) + a);
          trace_.Append("ademco  " + a);
        }
      }
    } else {
      stores = true;
      reply = "ACK";
    }
  }
  const bool close = Contains(r, "@");
  replies->closing = close;

  // The reply: "ACK" only for what is stored; a failed write makes the
  // message "NACK" without a trouble line, so the module sends it again.
  QPointer<QTcpSocket> to(socket);
  Meter* meter = meter_;
  const auto send = [to, reply, close, meter, arrived](bool stored) {
    if (!to || to->state() != QAbstractSocket::ConnectedState) return;
    const std::string sent = stored ? reply : std::string("NACK");
    const std::string bytes = sent + kCR;
    to->write(bytes.data(), qint64(bytes.size()));
    // Out now, not at the next turn of the event loop: the ACK waits for no
    // other work, and the loop polls every connection one time less.
    to->flush();
    // A bare CR (a keep-alive's answer) is neither kind.
    if (meter && !sent.empty())
      meter->Reply(Road::Tcp, sent == "ACK" ? ReplyKind::Ack : ReplyKind::Nack, arrived);
    // Lets the reply go out before the connection ends.
    if (close) to->disconnectFromHost();
  };
  if (!stores) {
    replies->order.AddReady(send);
    return close;
  }
  const uint64_t ticket = replies->order.AddWaiting(send);
  std::weak_ptr<Replies> waiting(replies);
  const std::string line = std::to_string(Port(l.id));
  auto key = std::make_shared<RowKey>();
  // The row copies the texts; the completion then takes them over.
  EventRow row = IpEventRow(clock_, "tcp", line, peer, m, r);
  *key = StoreEvent(
      log_, std::move(row),
      [this, &l, r = std::move(r), key, waiting, ticket, peer, m = std::move(m)](bool stored) {
        if (stored) Deliver(l, r, *key);
        if (!stored) JournalNack(l, peer, m, "the event could not be stored");
        if (auto w = waiting.lock()) w->order.Release(ticket, stored);
      });
  return close;
}

void IpReceivers::JournalNack(const Listener& l, const std::string& peer, const std::string& m,
                              std::string_view reason) {
  if (!refusals_) return;
  const std::string account = ModuleAccount(m);
  const std::string who = account.empty() ? "IP " + peer : account;
  refusals_->Note(who, reason,
                  "NACK to IP " + peer + " on port " + std::to_string(Port(l.id)) +
                      (account.empty() ? std::string() : ", account " + account) + ": " +
                      std::string(reason));
}

void IpReceivers::Deliver(const Listener& l, const std::string& r, const RowKey& key) {
  const bool sent = clients_.WardexClientCount() > 0 &&
                    clients_.SendToFirstWardex(NoticeOrigin::IpEvent, "MLR;" + r + ";MLR_EVENT|");
  RecordClientCopy(log_, key, sent);
  if (clients_.Console2ClientCount() > 0) clients_.SendToFirstConsole2(r);
  const std::string e = r.substr(0, r.size() - 1);  // without the CR
  DeliverEventToConsole(output_, device_, trace_,
                        settings_.storeOffline &&
                            (!l.traits.queueNeedsNoConsole2 || clients_.Console2ClientCount() == 0),
                        e, key);
}

}  // namespace quell
