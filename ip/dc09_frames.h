#pragma once
// The texts of the SIA DC-09 receiver: what is cut out of a received
// datagram and the ACK and NACK reply frames.
#include <cstdint>
#include <string>
#include <string_view>

namespace quell {

// CRC-16/ARC (reflected 0x8005, initial 0, no final XOR).
uint16_t Crc16Arc(std::string_view bytes);

// The parser's input: the first three "#" fields of the datagram rebuilt as
// F1 + "011L" + F2 + "#00" + F3; "FALSE" when any of them is absent or empty.
std::string Dc09RelayText(std::string_view datagram);
// What follows the token's closing quote up to the first "[" (sequence,
// receiver, line and account).
std::string Dc09HeaderEcho(std::string_view datagram);
// The text after the first "_" up to the next "_" or the end.
std::string Dc09Timestamp(std::string_view datagram);

// LF, CRC, "0012", "ACK" quoted, the header echo, "[]", CR.
std::string Dc09AckFrame(std::string_view headerEcho);
// LF, CRC, "0026", "NACK" quoted, "0000R0L0A0[]_", the timestamp, CR.
std::string Dc09NackFrame(std::string_view timestamp);

}  // namespace quell
