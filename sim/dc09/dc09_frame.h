#pragma once
// The framing of SIA DC-09 datagrams as an IP communicator and the gateway
// exchange them: LF, CRC (4 hex digits), length ("0" + 3 hex digits), the
// body from its opening double quote, CR. CRC and length cover the body
// without the final CR.
#include <QDateTime>
#include <cstdint>
#include <string>
#include <string_view>

namespace quell::sim {

// CRC-16/ARC: polynomial 0x8005 reflected, initial value 0, no final XOR.
uint16_t Dc09Crc(std::string_view bytes);

// LF + CRC + length + body + CR.
std::string Dc09Frame(std::string_view body);

// "_HH:MM:SS,MM-DD-YYYY" in UTC.
std::string Dc09Timestamp(const QDateTime& time);

// A datagram from the gateway, taken apart.
struct Dc09Reply {
  // Nack: "NACK" (receiver without DC09.ini) or the standard "NAK"; EncryptedAck: "*ACK".
  enum class Kind { Ack, Nack, Other, Duh, EncryptedAck };
  Kind kind = Kind::Other;
  bool framed = false;  // LF, 4 hex digits, 4 length characters, '"' ... CR
  bool crcOk = false;
  // "0" + 3 hex digits of the body's length; the fixed "0012" of the
  // ACK and "0026" of the NACK without DC09.ini count as right too.
  bool lengthOk = false;
  std::string echo;  // the body after the reply's token
};

Dc09Reply ParseDc09Reply(std::string_view datagram);

}  // namespace quell::sim
