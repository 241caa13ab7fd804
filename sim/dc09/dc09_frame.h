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

// How the CRC is written: 4 hex digits or 2 raw bytes (high byte first),
// computed over the body or (the Cr forms) over the body and its closing CR,
// the length then counting the CR too.
enum class Dc09CrcForm { Hex, Raw, HexCr, RawCr };

// LF + CRC + length + body + CR.
std::string Dc09Frame(std::string_view body, Dc09CrcForm form = Dc09CrcForm::Hex);

// "_HH:MM:SS,MM-DD-YYYY" in UTC.
std::string Dc09Timestamp(const QDateTime& time);

// A datagram from the gateway, taken apart.
struct Dc09Reply {
  // Nack: "NACK" (receiver without DC09.ini) or the standard "NAK"; EncryptedAck: "*ACK".
  enum class Kind { Ack, Nack, Other, Duh, EncryptedAck };
  Kind kind = Kind::Other;
  bool framed = false;  // LF, CRC in either form, 4 length characters, '"' ... CR
  bool crcOk = false;
  Dc09CrcForm form = Dc09CrcForm::Hex;  // the form the CRC verified in
  // "0" + 3 hex digits of the body's length; the fixed "0012" of the
  // ACK and "0026" of the NACK without DC09.ini count as right too.
  bool lengthOk = false;
  std::string echo;  // the body after the reply's token
};

Dc09Reply ParseDc09Reply(std::string_view datagram);

// Where a reply's closing CR is searched from in a stream, frame[0] being
// its LF and at least 10 bytes following: after the opening quote.
size_t Dc09ReplyCrFrom(std::string_view frame);

}  // namespace quell::sim
