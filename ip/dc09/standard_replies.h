#pragma once
// The standard receiver's reply frames: LF, CRC, "0" + 3 upper-case hex
// digits of the body's length, body, CR.
#include <QDateTime>
#include <string>
#include <string_view>

#include "ip/dc09/standard_frame.h"

namespace quell {

// LF + CRC + length + body + CR.
std::string Dc09StandardFrame(std::string_view body);

// "ACK" + header + "[]".
std::string Dc09Ack(const Dc09Header& h);
// "DUH" + header + "[]".
std::string Dc09Duh(const Dc09Header& h);
// "NAK"0000R0L0A0[]_ + the receiver's UTC time, which panels set their
// clocks from.
std::string Dc09Nak(const QDateTime& now);
// "*ACK" + header + '[' + the hex of the encrypted pad + "|]_" + UTC time;
// key is 16, 24 or 32 bytes.
std::string Dc09EncryptedAck(const Dc09Header& h, std::string_view key, const QDateTime& now);

// '0' pad characters in front of '|' + text up to a multiple of 16 bytes,
// encrypted with a zero IV, as upper-case hex; empty when the key is bad.
std::string Dc09EncryptBlock(std::string_view key, std::string_view text);

}  // namespace quell
