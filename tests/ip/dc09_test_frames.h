#pragma once
// What the standard DC-09 receiver's tests build their frames with: a fixed
// time, the sample AES-128 key, the simulator's framing, stamps and the
// test's own encryption (so the receiver is checked against another maker).
#include <QDateTime>
#include <QTimeZone>
#include <string>

#include "core/config/dc09_file.h"
#include "core/config/sia_to_cid_file.h"
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

// The accounts of the receiver's frame tables: plain ones of each length,
// and one for each key form.
inline Dc09Config Dc09TableConfig() {
  Dc09Config c;
  c.accounts = {{"AAAA", "AAAA", {}},
                {"AAAAAA", "4321", {}},
                {"ABC", "0ABC", {}},
                {"0123456789ABCDEF", "CDEF", {}},
                {"E602", "E602", {}},
                {"123F", "123F", kDc09Key128},
                {"C192", "C192", *FromHex("000102030405060708090A0B0C0D0E0F1011121314151617")},
                {"C256", "C256",
                 *FromHex("000102030405060708090A0B0C0D0E0F"
                          "101112131415161718191A1B1C1D1E1F")},
                {"BEEF", "BEEF", "AAAAAAAAAAAAAAAA"}};
  return c;
}

// A small SIA table of the codes the tables use.
inline SiaToCidTable Dc09TableSia() {
  SiaToCidTable t;
  t.present = true;
  t.codes = {{"BA", "E130"}, {"BR", "R130"}, {"FA", "E110"}, {"RP", "E602"}};
  return t;
}

}  // namespace quell::test
