// AES-CBC through libcrypto against the published FIPS-197 and SP 800-38A
// vectors, and the DC-09 time stamp.
#include <gtest/gtest.h>

#include "core/dc09/aes_cbc.h"
#include "core/dc09/dc09_stamp.h"
#include "core/hex.h"

#include <QTimeZone>
#include <iterator>
#include <vector>

namespace quell {
namespace {

std::string Bytes(std::string_view hex) {
  return *FromHex(hex);
}

TEST(AesCbc, Fips197OneBlockWithZeroIv) {
  struct {
    const char* key;
    const char* cipher;
  } cases[] = {
      {"000102030405060708090a0b0c0d0e0f", "69C4E0D86A7B0430D8CDB78070B4C55A"},
      {"000102030405060708090a0b0c0d0e0f1011121314151617", "DDA97CA4864CDFE06EAF70A0EC0D7191"},
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "8EA2B7CA516745BFEAFC49904B496089"},
  };
  const std::string plain = Bytes("00112233445566778899aabbccddeeff");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(HexUpper(*AesCbcEncrypt(Bytes(c.key), plain)), c.cipher);
    EXPECT_EQ(*AesCbcDecrypt(Bytes(c.key), Bytes(c.cipher)), plain);
  }
}

TEST(AesCbc, Sp80038aCbcVectorsFourBlocks) {
  const std::string iv = Bytes("000102030405060708090a0b0c0d0e0f");
  const std::string plain = Bytes(
      "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
      "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
  struct {
    const char* key;
    const char* cipher;
  } cases[] = {
      {"2b7e151628aed2a6abf7158809cf4f3c",
       "7649ABAC8119B246CEE98E9B12E9197D5086CB9B507219EE95DB113A917678B2"
       "73BED6B8E3C1743B7116E69E222295163FF1CAA1681FAC09120ECA307586E1A7"},
      {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
       "4F021DB243BC633D7178183A9FA071E8B4D9ADA9AD7DEDF4E5E738763F69145A"
       "571B242012FB7AE07FA9BAAC3DF102E008B0E27988598881D920A9E64F5615CD"},
      {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
       "F58C4C04D6E5F1BA779EABFB5F7BFBD69CFC4E967EDB808D679F777BC6702C7D"
       "39F23369A9D9BACFA530E26304231461B2EB05E2C39BE9FCDA6C19078C6A9D1B"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(HexUpper(*AesCbcEncrypt(Bytes(c.key), plain, iv)), c.cipher);
    EXPECT_EQ(*AesCbcDecrypt(Bytes(c.key), Bytes(c.cipher), iv), plain);
    // The same with the IV folded into the first block and a zero IV.
    std::string folded = plain;
    for (size_t i = 0; i < kAesBlock; ++i) folded[i] = char(folded[i] ^ iv[i]);
    EXPECT_EQ(HexUpper(*AesCbcEncrypt(Bytes(c.key), folded)), c.cipher);
  }
}

// The expanded key is kept between calls with the same key; each call
// still starts from its own IV, whatever came before it.
TEST(AesCbc, EachCallStartsFromItsIvWhateverCameBefore) {
  const std::string a = Bytes("000102030405060708090a0b0c0d0e0f");
  const std::string b = Bytes("2b7e151628aed2a6abf7158809cf4f3c");
  const std::string plain = Bytes("00112233445566778899aabbccddeeff");
  const std::string twice = plain + plain;
  const std::string first = *AesCbcEncrypt(a, twice);
  EXPECT_EQ(HexUpper(first.substr(0, 16)), "69C4E0D86A7B0430D8CDB78070B4C55A");
  EXPECT_EQ(*AesCbcEncrypt(a, twice), first);  // not chained on from the last call
  EXPECT_NE(*AesCbcEncrypt(b, twice), first);
  EXPECT_FALSE(AesCbcEncrypt(a, std::string(15, 'x')));
  EXPECT_EQ(*AesCbcEncrypt(a, twice), first);
  EXPECT_EQ(*AesCbcDecrypt(a, first), twice);
  EXPECT_EQ(*AesCbcDecrypt(a, first), twice);
  EXPECT_EQ(*AesCbcDecrypt(a, first.substr(16), first.substr(0, 16)), plain);
  EXPECT_EQ(*AesCbcDecrypt(a, first), twice);
}

// A run of calls mixing keys, directions, IVs and lengths gives what each
// call gives on a context set up afresh for it.
TEST(AesCbc, ARunOfCallsGivesWhatFreshContextsGive) {
  const std::string keys[] = {
      Bytes("000102030405060708090a0b0c0d0e0f"), Bytes("2b7e151628aed2a6abf7158809cf4f3c"),
      Bytes("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4")};
  const std::string other(24, 'o');  // a key used only to force a fresh context
  const std::string ivs[] = {"", Bytes("000102030405060708090a0b0c0d0e0f"),
                             std::string(16, '\xFF')};
  struct Step {
    int key, iv;
    bool encrypt;
    size_t blocks;
  };
  const Step steps[] = {{0, 0, true, 1},  {0, 0, true, 3},  {0, 1, true, 2},  {0, 0, false, 2},
                        {0, 2, false, 1}, {1, 0, true, 4},  {1, 0, false, 4}, {0, 0, true, 2},
                        {2, 1, false, 3}, {2, 1, false, 3}, {2, 0, true, 1},  {0, 2, true, 2}};
  auto data = [](size_t i, size_t blocks) {
    std::string d(blocks * kAesBlock, '\0');
    for (size_t j = 0; j < d.size(); ++j) d[j] = char(i * 31 + j * 7);
    return d;
  };
  auto run = [&](const Step& s, size_t i) {
    const std::string d = data(i, s.blocks);
    return s.encrypt ? *AesCbcEncrypt(keys[s.key], d, ivs[s.iv])
                     : *AesCbcDecrypt(keys[s.key], d, ivs[s.iv]);
  };
  std::vector<std::string> fresh;
  for (size_t i = 0; i < std::size(steps); ++i) {
    ASSERT_TRUE(AesCbcEncrypt(other, data(i, 1)));
    ASSERT_TRUE(AesCbcDecrypt(other, data(i, 1)));
    fresh.push_back(run(steps[i], i));
  }
  for (size_t i = 0; i < std::size(steps); ++i) EXPECT_EQ(run(steps[i], i), fresh[i]) << i;
  // Round trips along the run, each direction chained on from the last.
  for (size_t i = 0; i < std::size(steps); ++i) {
    const Step& s = steps[i];
    const std::string d = data(i, s.blocks);
    EXPECT_EQ(*AesCbcDecrypt(keys[s.key], *AesCbcEncrypt(keys[s.key], d, ivs[s.iv]), ivs[s.iv]), d);
  }
}

TEST(AesCbc, RefusesWhatIsNotWholeBlocksOrAKey) {
  const std::string key(16, 'k');
  EXPECT_FALSE(AesCbcDecrypt(key, std::string(15, 'x')));
  EXPECT_FALSE(AesCbcDecrypt(key, std::string(17, 'x')));
  EXPECT_FALSE(AesCbcEncrypt(std::string(15, 'k'), std::string(16, 'x')));
  EXPECT_FALSE(AesCbcEncrypt(std::string(33, 'k'), std::string(16, 'x')));
  // No padding block added or expected.
  EXPECT_EQ(AesCbcEncrypt(key, std::string(16, 'x'))->size(), 16u);
  EXPECT_EQ(AesCbcDecrypt(key, std::string(32, 'x'))->size(), 32u);
  EXPECT_FALSE(FromHex("0G"));
  EXPECT_FALSE(FromHex("ABC"));
  EXPECT_EQ(*FromHex("aBcD"), "\xAB\xCD");
  // Every byte value in both places of a pair: digits and letters A-F in
  // either case are read, their neighbours ('/', ':', '@', 'G', '`', 'g')
  // and the rest are not.
  const std::string digits = "0123456789ABCDEFabcdef";
  for (int c = 0; c < 256; ++c) {
    const size_t at = digits.find(char(c));
    const bool hex = c != 0 && at != std::string::npos;
    const int value = at < 16 ? int(at) : int(at) - 6;
    const std::string high{char(c), '0'}, low{'0', char(c)};
    EXPECT_EQ(HexDigitValue(char(c)), hex ? value : -1) << c;
    ASSERT_EQ(FromHex(high).has_value(), hex) << c;
    ASSERT_EQ(FromHex(low).has_value(), hex) << c;
    if (hex) {
      EXPECT_EQ(uint8_t((*FromHex(high))[0]), value * 16) << c;
      EXPECT_EQ(uint8_t((*FromHex(low))[0]), value) << c;
    }
  }
}

TEST(Dc09Stamp, ReadsOnlyValidStampsAndWritesUtc) {
  EXPECT_EQ(ParseDc09Stamp("00:00:00,01-01-1970"), 0);
  EXPECT_EQ(ParseDc09Stamp("12:00:05,01-01-2024"), 1704110405);
  EXPECT_EQ(ParseDc09Stamp("23:59:59,02-29-2024"), 1709251199);
  EXPECT_EQ(ParseDc09Stamp("23:59:59,12-31-1969"), -1);
  for (const char* bad :
       {"24:00:00,01-01-2024", "12:00:00,02-30-2024", "12:00:00,02-29-2023", "12:60:00,01-01-2024",
        "12:00:00,13-01-2024", "12:00:0,01-01-2024", "12:00:00,01-01-2024\r", "12-00-00,01-01-2024",
        "12:00:00 01-01-2024", ""})
    EXPECT_FALSE(ParseDc09Stamp(bad)) << bad;
  const QDateTime local(QDate(2024, 1, 1), QTime(15, 0, 5), QTimeZone(3 * 3600));
  EXPECT_EQ(Dc09StampText(local), "12:00:05,01-01-2024");
}

}  // namespace
}  // namespace quell
