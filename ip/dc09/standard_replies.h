#pragma once
// The standard receiver's reply frames: LF, CRC, "0" + 3 upper-case hex
// digits of the body's length, body, CR; the CRC written in the form of the
// frame replied to (4 hex digits or 2 raw bytes, over the body or over the
// body and its CR, the length then counting the CR too).
#include <QDateTime>
#include <string>
#include <string_view>

#include "ip/dc09/standard_frame.h"

namespace quell {

// LF + CRC + length + body + CR.
std::string Dc09StandardFrame(std::string_view body, Dc09Form form = Dc09Form::Hex);

// "ACK" + header + "[]".
std::string Dc09Ack(const Dc09Header& h, Dc09Form form = Dc09Form::Hex);
// "DUH" + header + "[]".
std::string Dc09Duh(const Dc09Header& h, Dc09Form form = Dc09Form::Hex);
// "NAK"0000R0L0A0[]_ + the receiver's UTC time, which panels set their
// clocks from.
std::string Dc09Nak(const QDateTime& now, Dc09Form form = Dc09Form::Hex);
// "*ACK" + header + '[' + the hex of the encrypted pad + "|]_" + UTC time;
// key is 16, 24 or 32 bytes.
std::string Dc09EncryptedAck(const Dc09Header& h, std::string_view key, const QDateTime& now,
                             Dc09Form form = Dc09Form::Hex);

// '0' pad characters in front of '|' + text up to a multiple of 16 bytes,
// encrypted with a zero IV, as upper-case hex; empty when the key is bad.
std::string Dc09EncryptBlock(std::string_view key, std::string_view text);

}  // namespace quell
