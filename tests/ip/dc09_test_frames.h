#pragma once
// What the standard DC-09 receiver's tests build their frames with: a fixed
// time, the sample AES-128 key, the simulator's framing, stamps and the
// test's own encryption (so the receiver is checked against another maker).
#include <QDateTime>
#include <QTimeZone>
#include <string>

#include "core/dc09/aes_cbc.h"
#include "core/dc09/dc09_stamp.h"
#include "core/hex.h"
#include "sim/dc09/dc09_frame.h"

namespace quell::test {

inline const QDateTime kDc09Now(QDate(2024, 1, 1), QTime(12, 0, 5), QTimeZone::utc());
inline const std::string kDc09Key128 = *FromHex("000102030405060708090A0B0C0D0E0F");

inline std::string Frame(const std::string& body) {
  return sim::Dc09Frame(body);
}

// The stamp of kDc09Now moved by seconds.
inline std::string Stamp(int seconds) {
  return Dc09StampText(kDc09Now.addSecs(seconds));
}

// pad characters in front of '|' + text (or text alone), encrypted, as hex.
inline std::string Encrypted(const std::string& key, const std::string& text, bool bar = true,
                             char pad = '0') {
  std::string plain = (bar ? "|" : "") + text;
  plain.insert(0, (16 - plain.size() % 16) % 16, pad);
  return HexUpper(*AesCbcEncrypt(key, plain));
}

}  // namespace quell::test
