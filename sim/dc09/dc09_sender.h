#pragma once
// An IP communicator's side of the DC-09 exchange, as pure logic: builds the
// ADM-CID messages, matches the gateway's replies to them and keeps the
// counts and reply times. Times come in as arguments (microseconds of any
// steady clock; the UTC time for the message's timestamp), so tests and the
// UDP program drive the same code.
//
// A reply settles the waiting message its ACK echo names, else the oldest
// waiting one (as a NACK, a bad CRC, a wrong sequence or another reply).
// An ACK naming a message already settled (timed out, or answered twice)
// counts as late and settles nothing.
#include <QDateTime>
#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/dc09/dc09_frame.h"
#include "sim/latency_stats.h"

namespace quell::sim {

// What goes into a message; texts are upper-case hex digits.
struct Dc09Message {
  std::string token = "ADM-CID";  // or SIA-DCS, NULL
  std::string sia = "BA";         // SIA-DCS: the two-letter event code
  std::string key;                // AES key bytes; empty: plain frames
  std::string account = "1234";
  std::string event = "1130";  // Contact ID qualifier + event code
  uint32_t group = 1;          // 0..99
  uint32_t zone = 15;          // 0..999
  std::string line = "0";      // after "L"
  std::string receiver;        // after "R"; empty leaves the field out
  bool hasLine = true;         // false: no L field at all
  bool hasAccount = true;      // false: no '#' account in the header (the data keeps it)
  std::string siaData;         // SIA-DCS: the data before ']' as given, instead of "#acct|Nri..."
  Dc09CrcForm crc = Dc09CrcForm::Hex;
  bool nul = false;        // a NUL after the closing CR
  bool randomPad = false;  // encrypted: random pad characters instead of '0'
  uint32_t repeats = 1;    // each message sent this many times with its sequence
};

// The message body from its opening quote to the timestamp, without CR:
// "ADM-CID"0001L0#1234[#1234|1130 01 015]_12:00:00,01-01-2020
// "SIA-DCS"0001L0#1234[#1234|Nri1/BA15]_12:00:00,01-01-2020
// "NULL"0001L0#1234[]_12:00:00,01-01-2020
// With a key the token gets a '*' and everything after '[' is encrypted:
// pad characters ('0', or random letters and digits), '|', the rest, as
// upper-case hex. zoneShift moves the zone on (each wrap of the sequence).
std::string Dc09Body(const Dc09Message& message, int sequence, const QDateTime& utc,
                     uint32_t zoneShift = 0);
// What follows the body's '[' (encrypted with a key).
std::string Dc09Rest(const Dc09Message& message, const QDateTime& utc, uint32_t zoneShift = 0,
                     bool randomPad = false);

// The probe datagram that asks the gateway for its two-datagram answer.
inline constexpr std::string_view kDc09Probe = "REQ";

// BadReply: a wrong length, or a "*ACK" that does not decrypt (or a plain
// ACK where a "*ACK" was due).
enum class Dc09Outcome { Ack, Nack, BadCrc, WrongSequence, Other, Timeout, Duh, BadReply };
const char* Dc09OutcomeText(Dc09Outcome outcome);

struct Dc09Result {
  int sequence = 0;
  Dc09Outcome outcome = Dc09Outcome::Other;
  double latencyMs = 0;  // send to reply; 0 for a timeout
  std::string echo;      // the ACK's echo, for a wrong sequence
};

// "#0001 ACK 0.4 ms", "#0002 timeout".
std::string Dc09ResultLine(const Dc09Result& result);

struct Dc09Counts {
  uint64_t sent = 0, ack = 0, nack = 0, badCrc = 0, wrongSequence = 0, other = 0, timeouts = 0;
  uint64_t duh = 0, badReply = 0;
  uint64_t late = 0;        // ACKs for messages already settled
  uint64_t unexpected = 0;  // replies while nothing was waiting
};

class Dc09Sender {
 public:
  static constexpr size_t kRecentKept = 1024;  // settled sequences that late ACKs may name

  // probe: send kDc09Probe instead of messages; an answer is two datagrams,
  // the second a single CR.
  Dc09Sender(Dc09Message message, bool probe, uint32_t timeoutMs);

  // The next datagram, sent at nowUs; it waits for its reply from then on.
  std::string Next(const QDateTime& utc, int64_t nowUs);
  // A datagram from the gateway; the result of the message it settled.
  std::optional<Dc09Result> Receive(std::string_view datagram, int64_t nowUs);
  // Messages that waited timeoutMs or longer become timeouts.
  std::vector<Dc09Result> Expire(int64_t nowUs);

  size_t Waiting() const { return waiting_.size(); }
  const Dc09Counts& Counts() const { return counts_; }
  const LatencyStats& Latency() const { return latency_; }
  // Every message sent got its ACK (or, probing, its full answer).
  bool AllAcknowledged() const { return waiting_.empty() && counts_.ack == counts_.sent; }
  // Two lines: the counts and the reply times.
  std::string Summary() const;

 private:
  struct Pending {
    int sequence;
    int64_t sentUs;
    bool firstAnswer = false;  // probing: the first of the two datagrams came
  };

  Dc09Result Settle(std::deque<Pending>::iterator it, Dc09Outcome outcome, int64_t nowUs);
  std::optional<Dc09Result> ReceiveProbeAnswer(std::string_view datagram, int64_t nowUs);
  bool RecentlySettled(int sequence) const;
  // The reply's echo starts with the header this sender wrote.
  bool EchoMatches(const std::string& echo, int sequence) const;
  // A "*ACK"'s block decrypts to a pad, '|', "]_" and a time stamp.
  bool DecryptsRight(const std::string& echo) const;

  const Dc09Message message_;
  const bool probe_;
  const int64_t timeoutUs_;
  int sequence_ = 0;
  uint32_t wraps_ = 0;     // times the sequence ran past 9999: the zone moves on
  uint32_t repeated_ = 0;  // sends of the current sequence so far
  std::deque<Pending> waiting_;
  std::deque<int> recent_;  // settled sequences, oldest first
  // How often each sequence is in recent_: every message sent and every
  // reply look it up, so it is not searched.
  std::array<uint16_t, 10000> recentCount_{};
  qint64 restSecond_ = -1;  // the second rest_ was made for
  std::string rest_;
  mutable std::string lastGoodBlock_;  // the last "*ACK" block that decrypted right
  Dc09Counts counts_;
  LatencyStats latency_;
};

}  // namespace quell::sim
