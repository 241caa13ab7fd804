#include "console/ademco685.h"

#include <gtest/gtest.h>

#include "core/wire.h"

namespace quell {
namespace {

const CodeTable kCodes = {
    "10\tR130 001 R130 002",  // restores first: file order matters
    "31 burglary\tE130 001",
    "33\tE130 001",  // shadowed by the record above
    "\tE137 001",    // no code in field 1
};

TEST(Ademco685Test, EventLineTakesCodeOfFirstMatchingRecord) {
  EXPECT_EQ(Ademco685Line("5011 181234E13000001", "01", kCodes), "01 1234 31\r");
  EXPECT_EQ(Ademco685Line("5011 181234R13000002", "01", kCodes), "01 1234 10\r");
  // The group is not part of the key.
  EXPECT_EQ(Ademco685Line("5011 181234E13077001", "01", kCodes), "01 1234 31\r");
  // The receiver number is padded to two characters.
  EXPECT_EQ(Ademco685Line("5011 181234E13000001", "", kCodes), "00 1234 31\r");
  EXPECT_EQ(Ademco685Line("5011 181234E13000001", "5", kCodes), "05 1234 31\r");
}

TEST(Ademco685Test, EventWithoutCodeGivesEmptyText) {
  EXPECT_EQ(Ademco685Line("5011 181234E13000009", "01", kCodes), "");
  EXPECT_EQ(Ademco685Line("5011 181234E13000001", "01", {}), "");
  EXPECT_EQ(Ademco685Line("5011 181234E13700001", "01", kCodes), "");
  // A cut-off line must not match on a partial key.
  EXPECT_EQ(Ademco685Line("5011 181234E1300000", "01", kCodes), "");
  EXPECT_EQ(Ademco685Line("", "01", {"99\t "}), "");
}

TEST(Ademco685Test, SupervisionLineGivesAccountAndZeroCode) {
  EXPECT_EQ(Ademco685Line("1011      4321 @", "01", kCodes), "01 4321 00\r");
  EXPECT_EQ(Ademco685Line(std::string("1011      4321 @") + kCR, "", {}), "00 4321 00\r");
  // Found by fuzzing: a keep-alive cut short gave a line whose account
  // positions reached its CR, which then split the console's record.
  EXPECT_EQ(Ademco685Line(std::string("1011      43 @") + kCR, "01", {}), "01 43 00\r");
  EXPECT_EQ(Ademco685Line(std::string("10 @") + kCR, "01", {}), "01  00\r");
}

TEST(Ademco685Test, CharactersAfterPositionTwentyAreIgnored) {
  EXPECT_EQ(Ademco685Line(std::string("5011 181234E13000001") + kDC4, "01", kCodes),
            "01 1234 31\r");
  // An "@" past position 20 does not make it a supervision line.
  EXPECT_EQ(Ademco685Line("5011 181234E13000001 @", "01", kCodes), "01 1234 31\r");
}

}  // namespace
}  // namespace quell
