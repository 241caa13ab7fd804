#include "ip/dc09/standard_receiver.h"

#include "core/cp1251.h"
#include "core/dc09/aes_cbc.h"
#include "core/hex.h"
#include "core/text.h"
#include "ip/dc09/standard_events.h"
#include "ip/dc09/standard_frame.h"
#include "ip/dc09/standard_replies.h"
#include "ip/event_delivery.h"

namespace quell {
namespace {

constexpr size_t kUnservedKept = 1000;  // accounts remembered for the journal's pace

// A NAK or DUH: the reply and nothing else.
Dc09Outcome Answer(Dc09Outcome::Kind kind, std::string reply) {
  Dc09Outcome o;
  o.kind = kind;
  o.reply = std::move(reply);
  return o;
}

}  // namespace

StandardDc09Receiver::StandardDc09Receiver(Parts parts, Dc09Config config, SiaToCidTable sia)
    : p_(parts), config_(std::move(config)), sia_(std::move(sia)) {}

std::string StandardDc09Receiver::NakNow() const {
  return Dc09Nak(p_.clock.Now());
}

Dc09Outcome StandardDc09Receiver::Nak(const char* why, std::string_view bytes) {
  p_.trace.Append(std::string("dc09 NAK, ") + why + ": " + std::string(bytes));
  return Answer(Dc09Outcome::Kind::Nak, NakNow());
}

void StandardDc09Receiver::JournalUnserved(const std::string& account) {
  const uint32_t now = p_.clock.TickCount();
  const auto it = unservedJournalled_.find(account);
  if (it != unservedJournalled_.end() && TicksSince(now, it->second) < kUnservedJournalMs) return;
  if (unservedJournalled_.size() >= kUnservedKept) unservedJournalled_.clear();
  unservedJournalled_[account] = now;
  p_.journal.InsertTop(W("DC-09: счёт ") + account +
                       W(" не обслуживается, нужна строка в [Accounts] файла DC09.ini"));
}

std::optional<StandardDc09Receiver::Served> StandardDc09Receiver::Account(
    const std::string& account, bool encrypted) {
  if (const Dc09Account* row = config_.Find(account))
    return Served{row->console, row->key.empty() ? nullptr : &row->key};
  if (config_.anyAccount && !encrypted) {
    const std::string a = Upper(account);
    const size_t first = a.find_first_not_of('0');
    const std::string digits = first == std::string::npos ? std::string() : a.substr(first);
    if (digits.size() <= 4) return Served{PadLeft(digits, 4, '0'), nullptr};
  }
  JournalUnserved(account);
  return std::nullopt;
}

Dc09Outcome StandardDc09Receiver::Read(std::string_view bytes) {
  const Dc09ReadFrame f = ReadDc09Frame(bytes);
  if (f.status == Dc09ReadFrame::Status::BadCrc) return Nak("bad CRC", bytes);
  if (f.status != Dc09ReadFrame::Status::Ok) return Nak("frame does not read", bytes);
  const Dc09Header& h = f.header;
  const std::optional<Served> served = Account(h.account, h.encrypted);
  if (!served) return Nak("account not served", bytes);

  std::optional<Dc09Content> content;
  if (h.encrypted) {
    if (!served->key) return Nak("encrypted frame for an account without a key", bytes);
    const auto cipher = f.rest.size() % (2 * kAesBlock) == 0 ? FromHex(f.rest) : std::nullopt;
    const auto plain =
        cipher && !cipher->empty() ? AesCbcDecrypt(*served->key, *cipher) : std::nullopt;
    if (plain) content = ReadDc09Content(WithoutDc09Pad(*plain), true);
    if (!content) return Nak("does not decrypt", bytes);
  } else {
    if (served->key) return Nak("plain frame for an account with a key", bytes);
    content = ReadDc09Content(f.rest, false);
    if (!content) return Nak("data does not read", bytes);
  }
  const QDateTime now = p_.clock.Now();
  if (content->stamp && (h.encrypted || config_.checkPlainTime)) {
    const int64_t d = *content->stamp - now.toSecsSinceEpoch();
    if (d < -kStampBefore || d > kStampAfter) return Nak("time stamp outside the window", bytes);
  }

  std::optional<CidEvent> event;
  if (h.token == "ADM-CID") {
    event = ReadAdmCidData(content->data);
  } else if (h.token == "SIA-DCS") {
    event = ReadSiaDcsData(content->data, sia_);
  } else if (h.token != "NULL") {
    return Answer(Dc09Outcome::Kind::Duh, Dc09Duh(h));
  }
  if (h.token != "NULL" && !event) return Answer(Dc09Outcome::Kind::Duh, Dc09Duh(h));

  Dc09Outcome out;
  out.kind = Dc09Outcome::Kind::Ack;
  out.reply = h.encrypted ? Dc09EncryptedAck(h, *served->key, now) : Dc09Ack(h);
  out.console = served->console;
  // A periodic test report is acknowledged and stored, and goes no further.
  if (event) {
    out.eventLine = Dc09EventLine(served->console, *event);
    out.periodicTest = event->IsPeriodicTest();
  }
  return out;
}

void StandardDc09Receiver::SendInOrder(const std::string& sender, const std::string& bytes,
                                       const Reply& reply) {
  auto it = senders_.find(sender);
  if (it == senders_.end()) return reply(bytes);
  it->second.AddReady([reply, bytes](bool) { reply(bytes); });
}

void StandardDc09Receiver::Released(const std::string& sender, uint64_t ticket, bool stored) {
  auto it = senders_.find(sender);
  if (it == senders_.end()) return;
  it->second.Release(ticket, stored);
  if (it->second.Empty()) senders_.erase(it);
}

void StandardDc09Receiver::Complete(const Dc09Outcome& o, const Reply& reply,
                                    const std::string& sender, const std::string& line) {
  if (o.kind != Dc09Outcome::Kind::Ack) {
    // NAK and DUH are the whole answer: nothing is forwarded or recorded.
    SendInOrder(sender, o.reply, reply);
    return;
  }
  // Every acknowledged frame, link tests included, counts as the account
  // being heard; its row is made on the first one.
  p_.modules.Update(o.console, ModuleMessageKind::AdmCid, true, "4", "11");
  p_.output.ResetIdle(IpListener::P8097);
  if (o.eventLine.empty()) {
    SendInOrder(sender, o.reply, reply);  // a link test has no row
    return;
  }
  // The ACK leaves once the event is on disk; a failed write answers NAK so
  // the panel sends it again, and the event has no effect.
  const std::string r = o.eventLine + '\r';
  EventRow row = IpEventRow(p_.clock, "dc09", line, sender, o.raw, r);
  if (o.periodicTest) row.console = EventFate::NotForConsole;
  const uint64_t ticket = senders_[sender].AddWaiting(
      [this, reply, ack = o.reply](bool stored) { reply(stored ? ack : NakNow()); });
  auto seq = std::make_shared<int64_t>(0);
  const bool forward = !o.periodicTest;
  *seq = StoreEvent(log_, std::move(row), [this, r, seq, forward, sender, ticket](bool stored) {
    if (stored && forward)
      ForwardDc09Event(p_.clients, p_.output, p_.device, p_.trace, p_.settings.storeOffline, r,
                       *seq);
    Released(sender, ticket, stored);
  });
}

}  // namespace quell
