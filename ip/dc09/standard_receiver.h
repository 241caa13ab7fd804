#pragma once
// The standard DC-09 receiver, switched on by "\DC09.ini": reads each frame
// by its syntax, checks CRC, header, account, key and decryption and time
// stamp (each failing with NAK), then the token and events (DUH), and
// acknowledges the rest, every reply in the frame's CRC form. The events of
// a frame are stored as one group before its one ACK leaves; a copy of a
// frame lately acknowledged (a panel's retry) is acknowledged again and not
// forwarded. Served by the UDP receiver and the DC-09 TCP listener alike.
// Main thread.
//
// A frame is handled in two steps: Read decides the outcome (the reply and
// the event to forward), Complete carries it out. Complete is the one place
// a reply leaves and an event goes on.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>

#include "console/console_device.h"
#include "console/console_output.h"
#include "core/client_feed.h"
#include "core/clock.h"
#include "core/config/dc09_file.h"
#include "core/config/sia_to_cid_file.h"
#include "core/event_log.h"
#include "core/journal.h"
#include "core/meter.h"
#include "core/refusal_journal.h"
#include "core/settings.h"
#include "core/trace_view.h"
#include "ip/dc09/copy_memory.h"
#include "ip/dc09/standard_events.h"
#include "ip/dc09/standard_frame.h"
#include "ip/ip_module_supervision.h"
#include "ip/reply_order.h"

namespace quell {

struct Dc09Event {
  std::string line;           // without CR
  bool periodicTest = false;  // stored but goes no further
  std::string sia;            // an SIA event's code and address
};

// Why a frame was refused: the journal's reason and the metrics' label.
enum class Dc09NakReason { None, Crc, Unreadable, Account, Key, Decrypt, Time, Duh };

struct Dc09Outcome {
  enum class Kind { Ack, Nak, Duh };
  Kind kind = Kind::Nak;
  Dc09NakReason refusal = Dc09NakReason::None;
  std::string account;            // of a refused frame, when known
  std::string why;                // a refused frame's journal text, without the sender
  Dc09Form form = Dc09Form::Hex;  // of the frame and its reply
  std::string reply;              // the whole frame to send back
  std::string console;            // the console account of an acknowledged frame
  std::vector<Dc09Event> events;  // in the frame's order; none for a link test
  std::string copyKey;            // of an acknowledged frame with events
  std::string raw;                // the frame as received (set by Serve)

  // The first event's line, empty when there is none.
  std::string EventLine() const { return events.empty() ? std::string() : events[0].line; }
  bool PeriodicTest() const { return !events.empty() && events[0].periodicTest; }
};

class StandardDc09Receiver {
 public:
  using Reply = std::function<void(const std::string& bytes)>;
  // Journal lines about an account without a row: at most one a minute each.
  static constexpr uint32_t kUnservedJournalMs = 60'000;
  // Journal lines about an SIA code without a row: one an hour per code and account.
  static constexpr uint32_t kUnmappedJournalMs = 3'600'000;
  // The time window of encrypted frames' stamps, seconds around now.
  static constexpr int64_t kStampBefore = 40, kStampAfter = 20;

  struct Parts {
    Clock& clock;
    Journal& journal;
    TraceView& trace;
    ConsoleOutput& output;
    ConsoleDevice& device;
    const IpModuleSettings& settings;
    ClientFeed& clients;
    IpModuleSupervision& modules;
  };

  StandardDc09Receiver(Parts parts, Dc09Config config, SiaToCidTable sia);

  const Dc09Config& config() const { return config_; }

  // Events are stored here before they are acknowledged (none: at once).
  void SetEventLog(EventLog* log) { log_ = log; }
  // Replies, refusals and copies are counted here (none: not counted).
  void SetMeter(Meter* meter) { meter_ = meter; }

  // sender names the peer (UDP) or the connection (TCP) whose replies keep
  // their order; line is the port the frame came in on.
  Dc09Outcome Read(std::string_view bytes);
  void Complete(const Dc09Outcome& outcome, const Reply& reply, const std::string& sender = {},
                const std::string& line = {});
  void Serve(std::string_view bytes, const Reply& reply, const std::string& sender = {},
             const std::string& line = {}) {
    const SteadyTime arrived = meter_ ? std::chrono::steady_clock::now() : SteadyTime{};
    Dc09Outcome o = Read(bytes);
    o.raw = std::string(bytes);
    if (!meter_) return Complete(o, reply, sender, line);
    Complete(o, Counted(reply, o.kind, arrived), sender, line);
  }
  // A reply that needs no commit, sent behind any ACK still waiting for the
  // store on the same sender.
  void SendInOrder(const std::string& sender, const std::string& bytes, const Reply& reply);

  // A NAK with the receiver's time, for what the TCP listener discards.
  std::string NakNow(Dc09Form form = Dc09Form::Hex) const;

  // Acknowledged frames read back from the store at start-up (their rows
  // received at nowMs UTC or before): their copies are not forwarded again.
  void RememberCopies(const std::vector<RecentCopy>& copies, int64_t nowMs);
  const Dc09CopyMemory& copies() const { return copies_; }

 private:
  struct Served {
    std::string console;
    const std::string* key = nullptr;  // null: plain frames only
  };
  std::optional<Served> Account(const std::string& account, bool encrypted);
  Dc09Outcome Nak(const char* why, std::string_view bytes, Dc09Form form = Dc09Form::Hex,
                  Dc09NakReason refusal = Dc09NakReason::Unreadable, std::string account = {},
                  std::string text = {});
  Dc09Outcome Duh(const Dc09Header& h, Dc09Form form, const std::string& account, std::string text);
  void JournalUnserved(const std::string& account);
  void JournalUnmapped(const std::string& code, const std::string& account);
  // The events of an ADM-CID or SIA-DCS frame's data; none: DUH.
  std::vector<CidEvent> Events(const Dc09Header& h, const std::string& data,
                               const std::string& account, std::string_view bytes);
  void Store(const Dc09Outcome& o, const Reply& reply, const std::string& sender,
             const std::string& line);

  void Released(const std::string& sender, uint64_t ticket, bool stored);
  // reply, counting each reply that leaves by its kind and time.
  Reply Counted(const Reply& reply, Dc09Outcome::Kind kind, SteadyTime arrived);

  Parts p_;
  EventLog* log_ = nullptr;
  Meter* meter_ = nullptr;
  // Senders with a reply waiting for the store.
  std::map<std::string, ReplyOrder> senders_;
  const Dc09Config config_;
  const SiaToCidTable sia_;
  std::unordered_map<std::string, uint32_t> unservedJournalled_;  // account -> tick
  std::unordered_map<std::string, uint32_t> unmappedJournalled_;  // code + account -> tick
  Dc09CopyMemory copies_;
  RefusalJournal refusals_;
};

}  // namespace quell
