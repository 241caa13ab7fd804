#include <gtest/gtest.h>

#include "core/cp1251.h"
#include "core/text.h"

namespace quell {
namespace {

TEST(FieldAt, CountsFieldsAndReportsAbsentOrEmptyAsFalse) {
  EXPECT_EQ(FieldAt("a;b;c", 3, ";"), "c");
  EXPECT_EQ(FieldAt("a;b;c", 4, ";"), "FALSE");
  EXPECT_EQ(FieldAt("a;;c", 2, ";"), "FALSE");
  EXPECT_EQ(FieldAt("a;b;", 2, ";"), "b");
  EXPECT_EQ(FieldAt("a;b;", 3, ";"), "FALSE");
  EXPECT_EQ(FieldAt(";a", 1, ";"), "FALSE");
  EXPECT_EQ(FieldAt(";a", 2, ";"), "a");
}

TEST(FieldAt, MultiCharacterAndUnusualSeparators) {
  EXPECT_EQ(FieldAt("COM5", 2, "COM"), "5");
  EXPECT_EQ(FieldAt("COM5", 1, "COM"), "FALSE");
  EXPECT_EQ(FieldAt("x_12:00:00,01-01-2020", 2, "_"), "12:00:00,01-01-2020");
  EXPECT_EQ(FieldAt("a\tb\tc", 2, "\t"), "b");
  // Occurrences never overlap: the second search starts after the first "aa".
  EXPECT_EQ(FieldAt("aaab", 2, "aa"), "ab");
}

TEST(FieldAt, EmptyTextEmptySeparatorAndBadIndex) {
  for (int n = 0; n < 4; ++n) EXPECT_EQ(FieldAt("", n, ";"), "FALSE");
  EXPECT_EQ(FieldAt("a;b", 1, ""), "FALSE");
  EXPECT_EQ(FieldAt("a;b", 0, ";"), "FALSE");
  EXPECT_EQ(FieldAt("a;b", -1, ";"), "FALSE");
}

TEST(FieldAt, SearchStopsAtFirstNul) {
  std::string text("a;b\0;c", 6);
  EXPECT_EQ(FieldAt(text, 1, ";"), "a");
  // The separator that ends the last field is cut off with the rest.
  EXPECT_EQ(FieldAt(text, 2, ";"), "FALSE");
  EXPECT_EQ(FieldAt(text, 3, ";"), "FALSE");
  // A NUL separator finds nothing: the search ends before it.
  EXPECT_EQ(FieldAt(std::string("a\0b", 3), 1, std::string("\0", 1)), "FALSE");
}

// Texts that end exactly at a separator, or one field past the last one.
TEST(FieldAt, FieldsAtTheEndOfTheText) {
  EXPECT_EQ(FieldAt("a#b#", 3, "#"), "FALSE");
  EXPECT_EQ(FieldAt("a#b#", 4, "#"), "FALSE");
  EXPECT_EQ(FieldAt("a#b", 2, "#"), "b");
  EXPECT_EQ(FieldAt("a#b", 3, "#"), "FALSE");
  EXPECT_EQ(FieldAt("#", 1, "#"), "FALSE");
  EXPECT_EQ(FieldAt("#", 2, "#"), "FALSE");
  EXPECT_EQ(FieldAt("x", 1, "#"), "x");
  // A separator of two bytes that the appended one completes.
  EXPECT_EQ(FieldAt("a;", 1, ";;"), "a");
  EXPECT_EQ(FieldAt("a;", 2, ";;"), "FALSE");
}

TEST(TextOperations, SubstringEdgeRules) {
  EXPECT_EQ(Substring("abc", 0, 2), "ab");
  EXPECT_EQ(Substring("abc", 4, 1), "");
  EXPECT_EQ(Substring("abc", 2, 10), "bc");
  EXPECT_EQ(Substring("abc", 1, 0), "");
  EXPECT_EQ(Substring("abc", 1, -3), "");
  EXPECT_EQ(Substring("abc", -5, 1), "a");
}

TEST(TextOperations, PositionTrimRepeat) {
  EXPECT_EQ(Pos("b", "abcb"), 2);
  EXPECT_EQ(Pos("", "abc"), 0);
  EXPECT_EQ(Pos("B", "abc"), 0);
  EXPECT_EQ(Trim("\t\r\n  x y \x01"), "x y");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Repeat('0', 3), "000");
  EXPECT_EQ(Repeat('0', -1), "");
}

TEST(TextOperations, UpperCoversCyrillicInWindows1251) {
  EXPECT_EQ(Upper("+clip: \"abc\""), "+CLIP: \"ABC\"");
  EXPECT_EQ(Cp1251ToUtf8(Upper(W("привет ёж"))), "ПРИВЕТ ЁЖ");
}

TEST(TextOperations, StrictIntegerConversion) {
  EXPECT_EQ(ToInt("9600"), 9600);
  EXPECT_EQ(ToInt("-12"), -12);
  EXPECT_FALSE(ToInt("FALSE"));
  EXPECT_FALSE(ToInt(""));
  EXPECT_FALSE(ToInt("500 ;comment"));
  EXPECT_FALSE(ToInt("99999999999"));
}

TEST(Cp1251, RoundTripsEveryDefinedByte) {
  for (int b = 1; b < 256; ++b) {
    if (b == 0x98) continue;
    std::string one(1, char(b));
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(one)), one) << b;
  }
  EXPECT_EQ(W("Порт клиента WX: "), "\xCF\xEE\xF0\xF2 \xEA\xEB\xE8\xE5\xED\xF2\xE0 WX: ");
}

// The direct UTF-8 encoder agrees with Qt's for every byte at once: one,
// two and three byte forms (0x98 is U+FFFD), NUL kept in place.
TEST(Cp1251, Utf8MatchesQtForEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(char(b));
  EXPECT_EQ(Cp1251ToUtf8(all), FromCp1251(all).toUtf8().toStdString());
  EXPECT_EQ(FromCp1251(all).size(), 256);
  EXPECT_EQ(FromCp1251(all).at(0xC0), QChar(0x0410));
  EXPECT_EQ(Cp1251ToUtf8(""), "");
  // ASCII goes over in runs: texts that start, end or are wholly in one.
  for (const std::string& text : {std::string("udp : \n0042"), all.substr(0x7F, 2),
                                  all.substr(0x80) + "end", "x" + all.substr(0xF0)}) {
    EXPECT_EQ(Cp1251ToUtf8(text), FromCp1251(text).toUtf8().toStdString());
    std::string appended = "kept ";
    AppendCp1251AsUtf8(appended, text);
    EXPECT_EQ(appended, "kept " + Cp1251ToUtf8(text));
  }
}

}  // namespace
}  // namespace quell
