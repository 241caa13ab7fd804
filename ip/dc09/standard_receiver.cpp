#include "ip/dc09/standard_receiver.h"

#include <QTimeZone>

#include "core/cp1251.h"
#include "core/dc09/aes_cbc.h"
#include "core/dc09/dc09_stamp.h"
#include "core/hex.h"
#include "core/text.h"
#include "ip/dc09/copy_memory.h"
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
    : p_(parts),
      config_(std::move(config)),
      sia_(std::move(sia)),
      refusals_(parts.clock, parts.journal) {}

std::string StandardDc09Receiver::NakNow(Dc09Form form) const {
  return Dc09Nak(p_.clock.Now(), form);
}

Dc09Outcome StandardDc09Receiver::Nak(const char* why, std::string_view bytes, Dc09Form form,
                                      Dc09NakReason refusal, std::string account,
                                      std::string text) {
  p_.trace.Append(std::string("dc09 NAK, ") + why + ": " + std::string(bytes));
  Dc09Outcome o = Answer(Dc09Outcome::Kind::Nak, NakNow(form));
  o.form = form;
  o.refusal = refusal;
  o.account = std::move(account);
  o.why = text.empty() ? W("NAK: ") + why : std::move(text);
  return o;
}

Dc09Outcome StandardDc09Receiver::Duh(const Dc09Header& h, Dc09Form form,
                                      const std::string& account, std::string text) {
  Dc09Outcome o = Answer(Dc09Outcome::Kind::Duh, Dc09Duh(h, form));
  o.form = form;
  o.refusal = Dc09NakReason::Duh;
  o.account = account;
  o.why = std::move(text);
  return o;
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

void StandardDc09Receiver::JournalUnmapped(const std::string& code, const std::string& account) {
  const uint32_t now = p_.clock.TickCount();
  const std::string key = code + ' ' + account;
  const auto it = unmappedJournalled_.find(key);
  if (it != unmappedJournalled_.end() && TicksSince(now, it->second) < kUnmappedJournalMs) return;
  if (unmappedJournalled_.size() >= kUnservedKept) unmappedJournalled_.clear();
  unmappedJournalled_[key] = now;
  p_.journal.InsertTop(W("DC-09: код SIA ") + code + W(" счёта ") + account +
                       W(" нет в таблице SIA, событие передано как Contact ID ") +
                       *config_.unmappedSia);
}

std::optional<StandardDc09Receiver::Served> StandardDc09Receiver::Account(
    const std::string& account, bool encrypted) {
  if (const Dc09Account* row = config_.Find(account))
    return Served{row->console, row->key.empty() ? nullptr : &row->key};
  if (config_.anyAccount && !encrypted) {
    // Served as the console account it is: at most 4 hex digits once the
    // leading zeros are dropped.
    const std::string a = Upper(account);
    const size_t first = a.find_first_not_of('0');
    const std::string digits = first == std::string::npos ? std::string() : a.substr(first);
    bool hex = digits.size() <= 4;
    for (char c : digits) hex = hex && HexDigitValue(c) >= 0;
    if (hex) return Served{PadLeft(digits, 4, '0'), nullptr};
  }
  JournalUnserved(account);
  return std::nullopt;
}

std::vector<CidEvent> StandardDc09Receiver::Events(const Dc09Header& h, const std::string& data,
                                                   const std::string& account,
                                                   std::string_view bytes) {
  if (h.token == "ADM-CID") {
    std::optional<CidEvent> e = ReadAdmCidData(data);
    return e ? std::vector<CidEvent>{*e} : std::vector<CidEvent>{};
  }
  SiaEvents sia = ReadSiaDcsEvents(data, sia_, config_.unmappedSia);
  for (const std::string& note : sia.notes)
    p_.trace.Append("dc09 " + note + ": " + std::string(bytes));
  for (const std::string& code : sia.unmappedCodes) JournalUnmapped(code, account);
  for (const CidEvent& e : sia.events)
    if (e.sia.find("/pi") != std::string::npos)
      p_.trace.Append("dc09 SIA " + e.sia + " of account " + account);
  return std::move(sia.events);
}

Dc09Outcome StandardDc09Receiver::Read(std::string_view bytes) {
  const Dc09ReadFrame f = ReadDc09Frame(bytes);
  if (f.status == Dc09ReadFrame::Status::BadCrc)
    return Nak("bad CRC", bytes, Dc09Form::Hex, Dc09NakReason::Crc, {},
               W("NAK: CRC кадра не сходится (ни в одной форме)"));
  if (f.status != Dc09ReadFrame::Status::Ok)
    return Nak("frame does not read", bytes, f.form, Dc09NakReason::Unreadable, {},
               W("NAK: кадр не читается (заголовок или конец кадра)"));
  const Dc09Header& h = f.header;
  const Dc09Form form = f.form;
  // An encrypted frame names its account in the header: its key is chosen by it.
  if (!h.hasAccount && h.encrypted)
    return Nak("encrypted frame without an account", bytes, form, Dc09NakReason::Key, {},
               W("NAK: зашифрованный кадр без счёта в заголовке, ключ не выбрать"));

  // The header's account, else (plain frames) the data's.
  std::optional<Dc09Content> content;
  std::string account = h.account;
  if (!h.hasAccount) {
    content = ReadDc09Content(f.rest, false);
    if (!content)
      return Nak("data does not read", bytes, form, Dc09NakReason::Unreadable, {},
                 W("NAK: данные кадра не читаются"));
    account = std::string(Dc09DataAccount(content->data));
    if (account.empty())
      return Nak("no account in the header or the data", bytes, form, Dc09NakReason::Account, {},
                 W("NAK: нет счёта ни в заголовке, ни в данных"));
  }
  const std::optional<Served> served = Account(account, h.encrypted);
  // The unserved account has its own journal line.
  if (!served) return Nak("account not served", bytes, form, Dc09NakReason::Account, account, "-");

  if (h.encrypted) {
    if (!served->key)
      return Nak("encrypted frame for an account without a key", bytes, form, Dc09NakReason::Key,
                 account, W("NAK: кадр зашифрован, а у счёта нет ключа в DC09.ini"));
    const auto cipher = f.rest.size() % (2 * kAesBlock) == 0 ? FromHex(f.rest) : std::nullopt;
    const auto plain =
        cipher && !cipher->empty() ? AesCbcDecrypt(*served->key, *cipher) : std::nullopt;
    if (plain) content = ReadDc09Content(WithoutDc09Pad(*plain), true);
    if (!content)
      return Nak("does not decrypt", bytes, form, Dc09NakReason::Decrypt, account,
                 W("NAK: кадр не расшифровывается ключом счёта (неверный ключ?)"));
  } else {
    if (served->key)
      return Nak("plain frame for an account with a key", bytes, form, Dc09NakReason::Key, account,
                 W("NAK: кадр не зашифрован, а у счёта есть ключ в DC09.ini"));
    if (!content) content = ReadDc09Content(f.rest, false);
    if (!content)
      return Nak("data does not read", bytes, form, Dc09NakReason::Unreadable, account,
                 W("NAK: данные кадра не читаются"));
  }
  const QDateTime now = p_.clock.Now();
  if (content->stamp && (h.encrypted || config_.checkPlainTime)) {
    const int64_t d = *content->stamp - now.toSecsSinceEpoch();
    if (d < -kStampBefore || d > kStampAfter) {
      // The stamp text is a cached string: the panel's is copied first.
      std::string text = W("NAK: время кадра ") + Dc09StampText(QDateTime::fromSecsSinceEpoch(
                                                      *content->stamp, QTimeZone::utc()));
      text += W(" вне окна -40..+20 с от времени шлюза ") + Dc09StampText(now);
      return Nak("time stamp outside the window", bytes, form, Dc09NakReason::Time, account,
                 std::move(text));
    }
  }

  std::vector<CidEvent> events;
  if (h.token == "ADM-CID" || h.token == "SIA-DCS") {
    events = Events(h, content->data, Upper(account), bytes);
    if (events.empty())
      return Duh(h, form, account, W("DUH: данные события не читаются: ") + content->data);
  } else if (h.token != "NULL") {
    return Duh(h, form, account, W("DUH: токен ") + h.token + W(" не обслуживается"));
  }

  Dc09Outcome out;
  out.kind = Dc09Outcome::Kind::Ack;
  out.form = form;
  out.reply = h.encrypted ? Dc09EncryptedAck(h, *served->key, now, form) : Dc09Ack(h, form);
  out.console = served->console;
  for (const CidEvent& e : events)
    out.events.push_back({Dc09EventLine(served->console, e), e.IsPeriodicTest(), e.sia});
  if (!events.empty()) {
    const std::string_view encrypted = h.encrypted ? "*" : "";
    out.copyKey =
        Dc09CopyKey(Upper(account), {encrypted, h.token, h.sequence, h.hasReceiver ? "R" : "",
                                     h.receiver, h.hasLine ? "L" : "", h.line,
                                     h.hasAccount ? "#" : "", Upper(h.account), content->data});
  }
  return out;
}

void StandardDc09Receiver::RememberCopies(const std::vector<RecentCopy>& copies, int64_t nowMs) {
  const uint32_t now = p_.clock.TickCount();
  for (const RecentCopy& c : copies) {
    const int64_t age = std::max<int64_t>(0, nowMs - c.receivedMs);
    if (age > Dc09CopyMemory::kWindowMs) continue;
    // Every row of a frame carries its key: the frame is remembered once.
    if (copies_.Find(c.copyKey, now)) continue;
    copies_.Add(c.copyKey, now - uint32_t(age), false);
  }
}

StandardDc09Receiver::Reply StandardDc09Receiver::Counted(const Reply& reply,
                                                          Dc09Outcome::Kind kind,
                                                          SteadyTime arrived) {
  if (kind != Dc09Outcome::Kind::Ack) {
    meter_->Reply(Road::Dc09, kind == Dc09Outcome::Kind::Nak ? ReplyKind::Nak : ReplyKind::Duh,
                  arrived);
    return reply;
  }
  // An ACK turns into a NAK when its commit fails: counted as it leaves.
  return [this, reply, arrived](const std::string& bytes) {
    const bool nak = bytes.find("\"NAK\"") != std::string::npos;
    meter_->Reply(Road::Dc09, nak ? ReplyKind::Nak : ReplyKind::Ack, arrived);
    reply(bytes);
  };
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
    // The journal says why, once a minute per account (or sender) and reason.
    if (meter_ && o.kind == Dc09Outcome::Kind::Nak) {
      static constexpr Dc09Refusal kLabel[] = {Dc09Refusal::Unreadable, Dc09Refusal::Crc,
                                               Dc09Refusal::Unreadable, Dc09Refusal::Account,
                                               Dc09Refusal::Key,        Dc09Refusal::Key,
                                               Dc09Refusal::Time,       Dc09Refusal::Unreadable};
      meter_->Dc09Refused(kLabel[int(o.refusal)]);
    }
    if (!o.why.empty() && o.why != "-") {
      const std::string who = o.account.empty() ? sender : Upper(o.account);
      refusals_.Note(
          who.empty() ? std::string("?") : who, std::to_string(int(o.refusal)),
          "DC-09: " + (o.account.empty() ? std::string() : W("счёт ") + o.account + ", ") + o.why +
              (sender.empty() ? std::string() : W(", от ") + sender));
    }
    SendInOrder(sender, o.reply, reply);
    return;
  }
  // Every acknowledged frame, link tests and copies included, counts as the
  // account being heard; its row is made on the first one.
  p_.modules.Update(o.console, ModuleMessageKind::AdmCid, true, "4", "11");
  p_.output.ResetIdle(IpListener::P8097);
  if (o.events.empty()) {
    SendInOrder(sender, o.reply, reply);  // a link test has no row
    return;
  }
  const std::shared_ptr<Dc09CopyMemory::Entry> first =
      copies_.Find(o.copyKey, p_.clock.TickCount());
  if (!first) return Store(o, reply, sender, line);
  if (meter_) meter_->Dc09Copy();
  p_.trace.Append(
      "dc09 copy of a frame acknowledged before, acknowledged again and not forwarded: " + o.raw);
  if (!first->pending) {
    SendInOrder(sender, o.reply, reply);
    return;
  }
  // The first copy's commit decides this one's answer too.
  const uint64_t ticket =
      senders_[sender].AddWaiting([this, reply, ack = o.reply, form = o.form](bool stored) {
        reply(stored ? ack : NakNow(form));
      });
  first->waiters.push_back(
      [this, sender, ticket](bool stored) { Released(sender, ticket, stored); });
}

void StandardDc09Receiver::Store(const Dc09Outcome& o, const Reply& reply,
                                 const std::string& sender, const std::string& line) {
  // The ACK leaves once every event is on disk; a failed write answers NAK
  // so the panel sends it again, and the frame has no effect.
  std::vector<EventRow> rows;
  std::vector<std::string> lines;
  rows.reserve(o.events.size());
  for (const Dc09Event& e : o.events) {
    lines.push_back(e.line + '\r');
    EventRow row = IpEventRow(p_.clock, "dc09", line, sender, o.raw, lines.back());
    if (e.periodicTest) row.console = EventFate::NotForConsole;
    row.sia = e.sia;
    row.copyKey = o.copyKey;
    rows.push_back(std::move(row));
  }
  const uint64_t ticket =
      senders_[sender].AddWaiting([this, reply, ack = o.reply, form = o.form](bool stored) {
        reply(stored ? ack : NakNow(form));
      });
  std::shared_ptr<Dc09CopyMemory::Entry> entry = copies_.Add(o.copyKey, p_.clock.TickCount(), true);
  std::vector<bool> tests;
  for (const Dc09Event& e : o.events) tests.push_back(e.periodicTest);
  auto first = std::make_shared<RowKey>();
  *first = StoreEvents(log_, std::move(rows),
                       [this, lines = std::move(lines), tests = std::move(tests), first, sender,
                        ticket, entry](bool stored) {
                         if (stored)
                           for (size_t i = 0; i < lines.size(); ++i)
                             if (!tests[i])
                               ForwardDc09Event(p_.clients, p_.output, p_.device, p_.trace,
                                                p_.settings.storeOffline, lines[i],
                                                first->Plus(int64_t(i)), log_);
                         Released(sender, ticket, stored);
                         copies_.Settle(entry, stored);
                       });
}

}  // namespace quell
