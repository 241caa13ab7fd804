#include "sim/dc09/dc09_frame.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace quell::sim {
namespace {

constexpr size_t kBodyStart = 9;  // LF, 4 CRC digits, 4 length characters

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

std::string Dc09Frame(std::string_view body) {
  char head[16];
  std::snprintf(head, sizeof head, "\n%04X0%03X", unsigned(Dc09Crc(body)),
                unsigned(body.size() & 0xFFF));
  std::string frame = head;
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

Dc09Reply ParseDc09Reply(std::string_view datagram) {
  Dc09Reply reply;
  if (datagram.size() < kBodyStart + 2 || datagram.front() != '\n' || datagram.back() != '\r' ||
      datagram[kBodyStart] != '"')
    return reply;
  unsigned crc = 0;
  const char* crcText = datagram.data() + 1;
  const auto [end, ec] = std::from_chars(crcText, crcText + 4, crc, 16);
  if (ec != std::errc() || end != crcText + 4) return reply;
  reply.framed = true;
  const std::string_view body = datagram.substr(kBodyStart, datagram.size() - kBodyStart - 1);
  reply.crcOk = Dc09Crc(body) == crc;
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
  std::snprintf(length, sizeof length, "0%03X", unsigned(body.size() & 0xFFF));
  const std::string_view lengthText = datagram.substr(5, 4);
  reply.lengthOk = lengthText == length || (reply.kind == K::Ack && lengthText == "0012") ||
                   (reply.kind == K::Nack && lengthText == "0026");
  return reply;
}

}  // namespace quell::sim
