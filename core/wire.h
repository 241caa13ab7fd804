#pragma once
// Console wire characters and the fixed receiver texts.
#include <string>

namespace quell {

inline constexpr char kDC4 = 20;
inline constexpr char kACK = 6;
inline constexpr char kNAK = 21;
inline constexpr char kCR = 13;
inline constexpr char kLF = 10;
inline constexpr char kTAB = 9;

// Receiver link test: "1011", eleven blanks, "@", four blanks, then DC4.
inline const std::string kHeartbeatLine = std::string("1011           @    ") + kDC4;
// Written to the console when an IP module sends something unreadable.
inline const std::string kTroubleLine = std::string("1IPS      0000 T  10") + kDC4;
// Ademco685 link test body (preceded by LF on the wire).
inline const std::string kOkayLine = std::string("00 OKAY @") + kCR;
inline const std::string kClientHeartbeat = "~HB";

}  // namespace quell
