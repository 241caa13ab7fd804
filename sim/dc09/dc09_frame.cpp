#include "sim/dc09/dc09_frame.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

namespace quell::sim {
namespace {

constexpr size_t kBodyStart = 9;     // LF, 4 CRC digits, 4 length characters
constexpr size_t kRawBodyStart = 7;  // LF, 2 CRC bytes, 4 length characters

}  // namespace

uint16_t Dc09Crc(std::string_view bytes) {
  // One table lookup per byte: long encrypted frames at full rate would
  // otherwise make the simulator, not the gateway, the limit.
  static const auto table = [] {
    std::array<uint16_t, 256> t{};
    for (unsigned n = 0; n < 256; ++n) {
      uint16_t crc = uint16_t(n);
      for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
      t[n] = crc;
    }
    return t;
  }();
  uint16_t crc = 0;
  for (char c : bytes) crc = uint16_t((crc >> 8) ^ table[(crc ^ uint8_t(c)) & 0xFF]);
  return crc;
}

std::string Dc09Frame(std::string_view body, Dc09CrcForm form) {
  const bool raw = form == Dc09CrcForm::Raw || form == Dc09CrcForm::RawCr;
  const bool withCr = form == Dc09CrcForm::HexCr || form == Dc09CrcForm::RawCr;
  std::string covered(body);
  if (withCr) covered += '\r';
  const unsigned crc = Dc09Crc(covered);
  char head[16];
  if (raw)
    std::snprintf(head, sizeof head, "\n..0%03X", unsigned(covered.size() & 0xFFF));
  else
    std::snprintf(head, sizeof head, "\n%04X0%03X", crc, unsigned(covered.size() & 0xFFF));
  std::string frame = head;
  if (raw) {
    frame[1] = char(crc >> 8);
    frame[2] = char(crc & 0xFF);
  }
  frame.append(body);
  frame += '\r';
  return frame;
}

std::string Dc09Timestamp(const QDateTime& time) {
  // Messages of the same second share their stamp: formatted once.
  thread_local qint64 lastSecond = -1;
  thread_local std::string lastText;
  const qint64 second = time.toSecsSinceEpoch();
  if (second != lastSecond) {
    lastText = time.toUTC().toString(QStringLiteral("_HH:mm:ss,MM-dd-yyyy")).toStdString();
    lastSecond = second;
  }
  return lastText;
}

size_t Dc09ReplyCrFrom(std::string_view frame) {
  if (frame.size() > kBodyStart && frame[kBodyStart] == '"') return kBodyStart + 1;
  if (frame.size() > kRawBodyStart && frame[kRawBodyStart] == '"') return kRawBodyStart + 1;
  return 1;
}

Dc09Reply ParseDc09Reply(std::string_view datagram) {
  Dc09Reply reply;
  if (datagram.size() < kBodyStart + 2 || datagram.front() != '\n' || datagram.back() != '\r')
    return reply;
  const auto isHex = [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
  };
  // Where the quote sits tells the form: +9 after 4 hex digits, +7 after two
  // raw bytes and "0" + 3 hex digits.
  size_t quote = 0;
  unsigned crc = 0;
  if (datagram[kBodyStart] == '"' &&
      std::all_of(datagram.begin() + 1, datagram.begin() + 5, isHex)) {
    quote = kBodyStart;
    std::from_chars(datagram.data() + 1, datagram.data() + 5, crc, 16);
  } else if (datagram[kRawBodyStart] == '"' && datagram[3] == '0' &&
             std::all_of(datagram.begin() + 4, datagram.begin() + 7, isHex)) {
    quote = kRawBodyStart;
    crc = unsigned(uint8_t(datagram[1])) << 8 | uint8_t(datagram[2]);
  } else {
    return reply;
  }
  reply.framed = true;
  const bool raw = quote == kRawBodyStart;
  const std::string_view body = datagram.substr(quote, datagram.size() - quote - 1);
  const std::string_view bodyCr = datagram.substr(quote);
  size_t covered = body.size();
  if (Dc09Crc(body) == crc) {
    reply.crcOk = true;
    reply.form = raw ? Dc09CrcForm::Raw : Dc09CrcForm::Hex;
  } else if (Dc09Crc(bodyCr) == crc) {
    reply.crcOk = true;
    reply.form = raw ? Dc09CrcForm::RawCr : Dc09CrcForm::HexCr;
    covered = bodyCr.size();
  }
  using K = Dc09Reply::Kind;
  for (auto [token, kind] : {std::pair{std::string_view("\"ACK\""), K::Ack},
                             std::pair{std::string_view("\"NACK\""), K::Nack},
                             std::pair{std::string_view("\"NAK\""), K::Nack},
                             std::pair{std::string_view("\"DUH\""), K::Duh},
                             std::pair{std::string_view("\"*ACK\""), K::EncryptedAck}}) {
    if (body.starts_with(token)) {
      reply.kind = kind;
      reply.echo = std::string(body.substr(token.size()));
    }
  }
  char length[8];
  std::snprintf(length, sizeof length, "0%03X", unsigned(covered & 0xFFF));
  const std::string_view lengthText = datagram.substr(quote - 4, 4);
  reply.lengthOk = lengthText == length || (reply.kind == K::Ack && lengthText == "0012") ||
                   (reply.kind == K::Nack && lengthText == "0026");
  return reply;
}

}  // namespace quell::sim
