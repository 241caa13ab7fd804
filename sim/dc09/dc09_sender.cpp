#include "sim/dc09/dc09_sender.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>

#include "core/dc09/aes_cbc.h"
#include "core/dc09/dc09_stamp.h"
#include "core/hex.h"
#include "sim/dc09/dc09_frame.h"

namespace quell::sim {
namespace {

constexpr int kLastSequence = 9999;

std::string Sequence(int sequence) {
  char text[8];
  std::snprintf(text, sizeof text, "%04d", sequence);
  return text;
}

// The sequence an ACK's echo starts with, or -1.
int EchoedSequence(const std::string& echo) {
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (echo.size() < 4 || !std::all_of(echo.begin(), echo.begin() + 4, digit)) return -1;
  return std::stoi(echo.substr(0, 4));
}

// Sequence, R, L and account: the part of the header a reply echoes.
std::string Header(const Dc09Message& m, int sequence) {
  std::string h = Sequence(sequence);
  if (!m.receiver.empty()) h += "R" + m.receiver;
  if (m.hasLine) h += "L" + m.line;
  if (m.hasAccount) h += "#" + m.account;
  return h;
}

// n pad characters: letters and digits, never '|', '[' or ']'.
std::string RandomPad(size_t n) {
  static const char kChars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string pad(n, '0');
  for (char& c : pad) c = kChars[QRandomGenerator::global()->bounded(36)];
  return pad;
}

// The body up to and with its '[': token, header.
std::string BodyBefore(const Dc09Message& m, int sequence) {
  return "\"" + std::string(m.key.empty() ? "" : "*") + m.token + "\"" + Header(m, sequence) + "[";
}

}  // namespace

std::string Dc09Rest(const Dc09Message& m, const QDateTime& utc, uint32_t zoneShift,
                     bool randomPad) {
  char data[64];
  const unsigned zone = unsigned((m.zone + zoneShift) % 1000);
  if (m.token == "NULL")
    data[0] = '\0';
  else if (m.token == "SIA-DCS")
    std::snprintf(data, sizeof data, "#%s|Nri%u/%s%u", m.account.c_str(), unsigned(m.group),
                  m.sia.c_str(), zone);
  else
    std::snprintf(data, sizeof data, "#%s|%s %02u %03u", m.account.c_str(), m.event.c_str(),
                  unsigned(m.group), zone);
  const std::string given = m.token == "SIA-DCS" && !m.siaData.empty() ? m.siaData : data;
  std::string rest = given + "]" + Dc09Timestamp(utc);
  if (m.key.empty()) return rest;
  std::string plain = "|" + rest;
  const size_t padding = (kAesBlock - plain.size() % kAesBlock) % kAesBlock;
  plain.insert(0, randomPad ? RandomPad(padding) : std::string(padding, '0'));
  const auto cipher = AesCbcEncrypt(m.key, plain);
  return cipher ? HexUpper(*cipher) : std::string();
}

std::string Dc09Body(const Dc09Message& m, int sequence, const QDateTime& utc, uint32_t zoneShift) {
  return BodyBefore(m, sequence) + Dc09Rest(m, utc, zoneShift, m.randomPad);
}

const char* Dc09OutcomeText(Dc09Outcome outcome) {
  switch (outcome) {
    case Dc09Outcome::Ack:
      return "ACK";
    case Dc09Outcome::Nack:
      return "NACK";
    case Dc09Outcome::BadCrc:
      return "bad CRC";
    case Dc09Outcome::WrongSequence:
      return "wrong sequence";
    case Dc09Outcome::Other:
      return "other reply";
    case Dc09Outcome::Timeout:
      return "timeout";
    case Dc09Outcome::Duh:
      return "DUH";
    case Dc09Outcome::BadReply:
      return "bad length or cipher";
  }
  return "?";
}

std::string Dc09ResultLine(const Dc09Result& r) {
  std::string line = "#" + Sequence(r.sequence) + " " + Dc09OutcomeText(r.outcome);
  if (r.outcome == Dc09Outcome::Timeout) return line;
  char ms[32];
  std::snprintf(ms, sizeof ms, " %.1f ms", r.latencyMs);
  line += ms;
  if (r.outcome == Dc09Outcome::WrongSequence) line += " (echo " + r.echo + ")";
  return line;
}

Dc09Sender::Dc09Sender(Dc09Message message, bool probe, uint32_t timeoutMs)
    : message_(std::move(message)), probe_(probe), timeoutUs_(int64_t(timeoutMs) * 1000) {}

std::string Dc09Sender::Next(const QDateTime& utc, int64_t nowUs) {
  // Each message goes out repeats times with its sequence, a panel's
  // retransmissions; each repeat is made anew (a new pad and stamp).
  const bool repeat = sequence_ > 0 && repeated_ < std::max<uint32_t>(message_.repeats, 1);
  if (!repeat) {
    repeated_ = 0;
    if (sequence_ >= kLastSequence) {
      ++wraps_;  // a new zone: the messages of the next wrap are no copies
      restSecond_ = -1;
    }
    sequence_ = sequence_ >= kLastSequence ? 1 : sequence_ + 1;
  }
  ++repeated_;
  // A sequence reused after wrapping forgets its earlier settlement.
  if (recentCount_[size_t(sequence_)] > 0) {
    recent_.erase(std::remove(recent_.begin(), recent_.end(), sequence_), recent_.end());
    recentCount_[size_t(sequence_)] = 0;
  }
  waiting_.push_back({sequence_, nowUs});
  ++counts_.sent;
  if (probe_) return std::string(kDc09Probe);
  std::string frame;
  if (repeated_ > 1 || message_.randomPad) {
    const bool newPad = !message_.key.empty() && repeated_ > 1;
    frame = Dc09Frame(BodyBefore(message_, sequence_) +
                          Dc09Rest(message_, utc, wraps_, message_.randomPad || newPad),
                      message_.crc);
  } else {
    // Messages of the same second differ only in their sequence: what
    // follows '[' (encrypted, with a key) is made once a second.
    const qint64 second = utc.toSecsSinceEpoch();
    if (second != restSecond_) {
      rest_ = Dc09Rest(message_, utc, wraps_);
      restSecond_ = second;
    }
    frame = Dc09Frame(BodyBefore(message_, sequence_) + rest_, message_.crc);
  }
  if (message_.nul) frame += '\0';
  return frame;
}

std::optional<Dc09Result> Dc09Sender::Receive(std::string_view datagram, int64_t nowUs) {
  if (probe_) return ReceiveProbeAnswer(datagram, nowUs);
  const Dc09Reply reply = ParseDc09Reply(datagram);
  using K = Dc09Reply::Kind;
  const bool encrypted = !message_.key.empty();
  const K ackKind = encrypted ? K::EncryptedAck : K::Ack;
  const bool checked = reply.crcOk && reply.lengthOk;
  if (checked && reply.kind == ackKind) {
    const int echoed = EchoedSequence(reply.echo);
    auto it = std::find_if(waiting_.begin(), waiting_.end(),
                           [echoed](const Pending& p) { return p.sequence == echoed; });
    if (it != waiting_.end() && EchoMatches(reply.echo, echoed)) {
      // The reply is written in the form of the frame it answers.
      const bool good = reply.form == message_.crc && (!encrypted || DecryptsRight(reply.echo));
      return Settle(it, good ? Dc09Outcome::Ack : Dc09Outcome::BadReply, nowUs);
    }
    if (it == waiting_.end() && RecentlySettled(echoed)) {
      ++counts_.late;
      return std::nullopt;
    }
  }
  if (waiting_.empty()) {
    ++counts_.unexpected;
    return std::nullopt;
  }
  Dc09Outcome outcome = Dc09Outcome::Other;
  if (!reply.framed) {
    outcome = Dc09Outcome::Other;
  } else if (!reply.crcOk) {
    outcome = Dc09Outcome::BadCrc;
  } else if (!reply.lengthOk) {
    outcome = Dc09Outcome::BadReply;
  } else if (reply.kind == K::Nack) {
    outcome = Dc09Outcome::Nack;
  } else if (reply.kind == K::Duh) {
    outcome = Dc09Outcome::Duh;
  } else if (reply.kind == ackKind) {
    outcome = Dc09Outcome::WrongSequence;
  } else if (reply.kind == K::Ack || reply.kind == K::EncryptedAck) {
    outcome = Dc09Outcome::BadReply;
  }
  Dc09Result result = Settle(waiting_.begin(), outcome, nowUs);
  if (outcome == Dc09Outcome::WrongSequence) result.echo = reply.echo;
  return result;
}

bool Dc09Sender::EchoMatches(const std::string& echo, int sequence) const {
  const std::string header = Header(message_, sequence) + "[";
  return echo.compare(0, header.size(), header) == 0;
}

bool Dc09Sender::DecryptsRight(const std::string& echo) const {
  const size_t open = echo.find('[');
  const std::string_view hex = std::string_view(echo).substr(open + 1);
  // The gateway's replies of one second carry the same block.
  if (!lastGoodBlock_.empty() && hex == lastGoodBlock_) return true;
  const auto cipher = FromHex(hex);
  const auto plain = cipher ? AesCbcDecrypt(message_.key, *cipher) : std::nullopt;
  if (!plain) return false;
  const size_t bar = plain->find('|');
  const bool good = bar != std::string::npos && plain->compare(bar, 3, "|]_") == 0 &&
                    ParseDc09Stamp(std::string_view(*plain).substr(bar + 3)).has_value();
  if (good) lastGoodBlock_ = hex;
  return good;
}

std::optional<Dc09Result> Dc09Sender::ReceiveProbeAnswer(std::string_view datagram, int64_t nowUs) {
  if (waiting_.empty()) {
    ++counts_.unexpected;
    return std::nullopt;
  }
  Pending& oldest = waiting_.front();
  if (!oldest.firstAnswer) {
    oldest.firstAnswer = true;
    return std::nullopt;
  }
  return Settle(waiting_.begin(), datagram == "\r" ? Dc09Outcome::Ack : Dc09Outcome::Other, nowUs);
}

std::vector<Dc09Result> Dc09Sender::Expire(int64_t nowUs) {
  std::vector<Dc09Result> results;
  while (!waiting_.empty() && nowUs - waiting_.front().sentUs >= timeoutUs_)
    results.push_back(Settle(waiting_.begin(), Dc09Outcome::Timeout, nowUs));
  return results;
}

Dc09Result Dc09Sender::Settle(std::deque<Pending>::iterator it, Dc09Outcome outcome,
                              int64_t nowUs) {
  Dc09Result result{it->sequence, outcome, 0, {}};
  if (outcome != Dc09Outcome::Timeout) {
    result.latencyMs = double(nowUs - it->sentUs) / 1000.0;
    latency_.Add(result.latencyMs);
  }
  uint64_t* counters[] = {&counts_.ack,           &counts_.nack,    &counts_.badCrc,
                          &counts_.wrongSequence, &counts_.other,   &counts_.timeouts,
                          &counts_.duh,           &counts_.badReply};
  ++*counters[int(outcome)];
  recent_.push_back(it->sequence);
  ++recentCount_[size_t(it->sequence)];
  if (recent_.size() > kRecentKept) {
    --recentCount_[size_t(recent_.front())];
    recent_.pop_front();
  }
  waiting_.erase(it);
  return result;
}

bool Dc09Sender::RecentlySettled(int sequence) const {
  return sequence >= 0 && sequence <= kLastSequence && recentCount_[size_t(sequence)] > 0;
}

std::string Dc09Sender::Summary() const {
  const Dc09Counts& c = counts_;
  char text[400];
  std::snprintf(text, sizeof text,
                "sent %llu: ACK %llu, NACK %llu, DUH %llu, bad length or cipher %llu, bad CRC "
                "%llu, wrong sequence %llu, other %llu, timeouts %llu, late %llu, unexpected "
                "%llu, still waiting %zu\n",
                (unsigned long long)c.sent, (unsigned long long)c.ack, (unsigned long long)c.nack,
                (unsigned long long)c.duh, (unsigned long long)c.badReply,
                (unsigned long long)c.badCrc, (unsigned long long)c.wrongSequence,
                (unsigned long long)c.other, (unsigned long long)c.timeouts,
                (unsigned long long)c.late, (unsigned long long)c.unexpected, waiting_.size());
  return text + ("reply times: " + latency_.Summary());
}

}  // namespace quell::sim
