#include "ip/dc09_receiver.h"

#include "core/refusal_journal.h"
#include "core/text.h"
#include "core/wire.h"
#include "ip/client_access.h"
#include "ip/dc09_frames.h"
#include "ip/event_delivery.h"
#include "ip/peer_address.h"

namespace quell {

Dc09Receiver::Dc09Receiver(Clock& clock, Journal& journal, TraceView& trace, ConsoleOutput& output,
                           ConsoleDevice& device, const IpModuleSettings& settings,
                           const PortSettings& ports, ClientFeed& clients, AdmCidParser& parser)
    : clock_(clock),
      journal_(journal),
      trace_(trace),
      output_(output),
      device_(device),
      settings_(settings),
      ports_(ports),
      clients_(clients),
      parser_(parser),
      startTick_(clock.TickCount()) {}

bool Dc09Receiver::Listen() {
  std::string error;
  if (udp_.Bind(quint16(ports_.sia), &error)) return true;
  trace_.Append("Listen " + std::to_string(ports_.sia) + ": " + error);
  return false;
}

void Dc09Receiver::Received(std::string_view datagram, const UdpPort::Peer& from) {
  const QHostAddress address = from.Address();
  // Dropped before its trace, journal line or parse.
  if (access_ && access_->RefusesDatagram(AccessGroup::Modules, address, Port())) return;
  const UdpPort* udp = &udp_;
  Handle(
      std::string(datagram), [udp, from](const std::string& bytes) { udp->Send(bytes, from); },
      PeerAddressText(address) + ":" + std::to_string(from.Port()));
}

ReplyOrder& Dc09Receiver::OrderFor(const std::string& sender) {
  return senders_[sender];
}

void Dc09Receiver::Released(const std::string& sender, uint64_t ticket, bool stored) {
  auto it = senders_.find(sender);
  if (it == senders_.end()) return;
  it->second.Release(ticket, stored);
  if (it->second.Empty()) senders_.erase(it);
}

void Dc09Receiver::Handle(const std::string& t, const Reply& reply, const std::string& sender) {
  trace_.Append(" udp  : " + t);
  const auto sendNow = [&](std::string bytes) {
    auto it = senders_.find(sender);
    if (it == senders_.end()) return reply(bytes);
    // Behind a reply that waits for the store.
    it->second.AddReady([reply, bytes](bool) { reply(bytes); });
  };
  // With the standard receiver on, a frame (it starts with LF) may hold
  // "REQ" in its data; only a bare probe gets the probe's answer.
  if (Contains(t, "REQ") && !(standard_ && StartsWith(t, "\n"))) {
    // The probe's answer: how long this receiver has been up, in seconds.
    sendNow(std::to_string(TicksSince(clock_.TickCount(), startTick_) / 1000));
    sendNow(std::string(1, kCR));
    output_.ResetIdle(IpListener::P8097);
    return;
  }
  JournalIpMessage(journal_, clock_, t);
  if (standard_) {
    standard_(t, reply, sender);
    return;
  }
  const SteadyTime arrived = meter_ ? std::chrono::steady_clock::now() : SteadyTime{};
  const std::string relay = Dc09RelayText(t);
  if (IsFalse(relay)) {  // no "#", or fewer than three "#" fields
    JournalRefusal(sender, "", "Ignored",
                   "not the \"ADM-CID\" layout served without DC09.ini (fewer than three \"#\")");
    return;
  }
  trace_.Append("udo->mlr0:");
  const std::string echo = Dc09HeaderEcho(t);
  const std::string timestamp = Dc09Timestamp(t);
  trace_.Append("udo->mlr:" + relay);
  const std::string r = parser_.Parse(relay);
  const std::string ack = Dc09AckFrame(echo);
  trace_.Append("udo->ack:" + ack);
  trace_.Append("udo->crc:" + ack.substr(1, 4));

  if (IsFalse(r)) {
    JournalRefusal(sender, ModuleAccount(relay), "Refused", parser_.Rejection());
    if (clients_.WardexClientCount() > 0) {
      sendNow(Dc09NackFrame(timestamp));
      if (meter_) meter_->Reply(Road::Dc09, ReplyKind::Nack, arrived);
    }
    if (device_.PortOpen()) device_.Write(kTroubleLine);
  } else if (!Contains(r, "@")) {
    // A periodic test report is acknowledged and stored, and goes no further.
    const bool testReport = Pos("E602", r) > 1;
    EventRow row = IpEventRow(clock_, "dc09", std::to_string(Port()), sender, t, r);
    if (testReport) row.console = EventFate::NotForConsole;
    // A sender whose event could not be stored gets the NACK frame (made
    // only then) and sends it again.
    Meter* meter = meter_;
    const uint64_t ticket =
        OrderFor(sender).AddWaiting([reply, ack, timestamp, meter, arrived](bool stored) {
          reply(stored ? ack : Dc09NackFrame(timestamp));
          if (meter) meter->Reply(Road::Dc09, stored ? ReplyKind::Ack : ReplyKind::Nack, arrived);
        });
    auto key = std::make_shared<RowKey>();
    *key =
        StoreEvent(log_, std::move(row), [this, r, key, testReport, sender, ticket](bool stored) {
          if (stored && !testReport) Deliver(r, *key);
          Released(sender, ticket, stored);
        });
  }
  output_.ResetIdle(IpListener::P8097);
}

void Dc09Receiver::JournalRefusal(const std::string& sender, const std::string& account,
                                  const char* what, std::string_view reason) {
  if (!refusals_) return;
  refusals_->Note(account.empty() ? "IP " + sender : account, reason,
                  std::string(what) + " DC-09 datagram from " + sender + " on UDP port " +
                      std::to_string(Port()) +
                      (account.empty() ? std::string() : ", account " + account) + ": " +
                      std::string(reason));
}

void Dc09Receiver::Deliver(const std::string& r, const RowKey& key) {
  ForwardDc09Event(clients_, output_, device_, trace_, settings_.storeOffline, r, key, log_);
}

}  // namespace quell
