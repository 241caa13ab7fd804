// "\DC09.ini" and "\SiaToCid.txt": every key form, and each kind of line
// that is skipped with its journal text.
#include <gtest/gtest.h>

#include "core/config/dc09_file.h"
#include "core/config/sia_to_cid_file.h"
#include "core/config/text_file.h"
#include "core/cp1251.h"

namespace quell {
namespace {

TEST(Dc09File, ReadsEveryKeyFormAndSetting) {
  const Dc09File f = ParseDc09File(
      {"; the receiver", "[Receiver]", "TcpPort=9009   ; also TCP", "AnyAccount=1",
       "checkplaintime = 1", "", "[Accounts]", "AAAA=AAAA", "aaaaaa=4321",
       "123F=123F,000102030405060708090A0B0C0D0E0F", "BEEF=beef, \"AAAAAAAAAAAAAAAA\" ; a text key",
       "C0DE=C0DE,\"a;b\\\"=cdefghijklmnopqrstuv\"",
       "0123456789ABCDEF=0001,"
       "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "F00D=F00D,000102030405060708090a0b0c0d0e0f1011121314151617"},
      {8005, 8040});
  EXPECT_EQ(f.config.tcpPort, 9009);
  EXPECT_TRUE(f.config.anyAccount);
  EXPECT_TRUE(f.config.checkPlainTime);
  ASSERT_EQ(f.problems.size(), 1u) << f.problems[0];  // the quote inside the quoted key
  ASSERT_EQ(f.config.accounts.size(), 6u);
  EXPECT_EQ(f.config.Find("aaaa")->console, "AAAA");
  EXPECT_EQ(f.config.Find("AAAAAA")->console, "4321");
  EXPECT_EQ(f.config.Find("AAAAA"), nullptr);  // exact, not a prefix
  EXPECT_TRUE(f.config.Find("aaaa")->key.empty());
  EXPECT_EQ(f.config.Find("123f")->key, std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09"
                                                    "\x0A\x0B\x0C\x0D\x0E\x0F",
                                                    16));
  EXPECT_EQ(f.config.Find("BEEF")->key, "AAAAAAAAAAAAAAAA");
  EXPECT_EQ(f.config.Find("BEEF")->console, "BEEF");
  EXPECT_EQ(f.config.Find("0123456789abcdef")->key.size(), 32u);
  EXPECT_EQ(f.config.Find("F00D")->key.size(), 24u);
}

TEST(Dc09File, AbsentKeysCountAsZero) {
  const Dc09File f = ParseDc09File({"[Receiver]", "[Accounts]", "AAAA=AAAA"}, {});
  EXPECT_EQ(f.config.tcpPort, 0);
  EXPECT_FALSE(f.config.anyAccount);
  EXPECT_FALSE(f.config.checkPlainTime);
  EXPECT_TRUE(f.problems.empty());
}

TEST(Dc09File, BadLinesAreJournalledAndSkipped) {
  const std::vector<std::string> bad = {
      "AAAA=AAAA",  // before any section
      "[Receiver]",
      "TcpPort=8040",   // a port the gateway uses
      "TcpPort=65536",  // not a port
      "TcpPort=-1",
      "AnyAccount=2",
      "Colour=1",
      "UnmappedSia=75",   // two digits
      "UnmappedSia=75A",  // not digits
      "[Accounts]",
      "=AAAA",                                         // no account
      "00000000000000000=AAAA",                        // 17
      "AA-G=AAAA",                                     // not a letter or digit
      "ABCD=ABC",                                      // console account of 3
      "ABCD=ABCDE",                                    // of 5
      "ABCD=ABCD,000102030405060708090A0B0C0D0E",      // 30 digits
      "ABCD=ABCD,000102030405060708090A0B0C0D0E0F00",  // 34 digits
      "ABCD=ABCD,\"AAAAAAAAAAAAAAA\"",                 // 15 characters
      "ABCD=ABCD,AAAAAAAAAAAAAAAA",                    // text without quotes
      "ABCD=ABCD,\"AAAAAAAAAAAAAAAA",                  // quote not closed
      "no equals sign",
      "[Other]",
  };
  const Dc09File f = ParseDc09File(bad, {8005, 8040});
  EXPECT_EQ(f.config.tcpPort, 0);
  EXPECT_TRUE(f.config.accounts.empty());
  ASSERT_EQ(f.problems.size(), bad.size() - 2);  // the two good headers
  EXPECT_EQ(f.problems[0].rfind("DC09.ini, " + W("строка 1 пропущена"), 0), 0u) << f.problems[0];
  EXPECT_TRUE(f.problems[1].ends_with(": TcpPort=8040"));

  // A repeated account keeps the first row.
  const Dc09File twice = ParseDc09File({"[Accounts]", "AAAA=1111", "aaaa=2222"}, {});
  ASSERT_EQ(twice.problems.size(), 1u);
  EXPECT_EQ(twice.config.Find("AAAA")->console, "1111");
}

TEST(Dc09File, UnmappedSiaTakesACodeOrDuh) {
  EXPECT_EQ(ParseDc09File({"[Receiver]"}, {}).config.unmappedSia, "750");
  EXPECT_EQ(ParseDc09File({"[Receiver]", "UnmappedSia=799"}, {}).config.unmappedSia, "799");
  EXPECT_FALSE(ParseDc09File({"[Receiver]", "UnmappedSia=duh"}, {}).config.unmappedSia);
  // Accounts of letters beyond F and of one character.
  const Dc09File f = ParseDc09File({"[Accounts]", "foc7688=7688", "7=0007"}, {});
  EXPECT_TRUE(f.problems.empty());
  EXPECT_EQ(f.config.Find("FOC7688")->console, "7688");
  EXPECT_EQ(f.config.Find("7")->console, "0007");
}

TEST(SiaToCidFile, RowsAddToTheBuiltInOnesOverrideAndRemove) {
  const SiaToCidFile f = ParseSiaToCidFile({"; SIA\tCID", "BA\tE131\tBurglary alarm", "br\tR130",
                                            "", "FA E110", "XX\tX130", "BAD\tE130", "PA\tE12",
                                            "BA\tE132", "ZZ\tE777", "YG\t-", "QQ\t--"});
  EXPECT_TRUE(f.table.present);
  EXPECT_EQ(f.table.Find("ba"), "E131");  // overridden: the first row of the file wins
  EXPECT_EQ(f.table.Find("BR"), "R130");
  EXPECT_EQ(f.table.Find("FA"), "E110");  // built in
  EXPECT_EQ(f.table.Find("ZZ"), "E777");  // added
  EXPECT_FALSE(f.table.Find("YG"));       // removed
  // spaces, qualifier X, 3 letters, 2 digits, repeated BA, "--"
  EXPECT_EQ(f.problems.size(), 6u);
  EXPECT_EQ(f.problems[0], "SiaToCid.txt, " + W("строка 5 пропущена: ") + "FA E110");
}

// The built-in table agrees with every row of the shipped sample file, holds
// each code once, and maps the non-restores whose letters read like one
// explicitly.
TEST(SiaToCidFile, BuiltInTableAgreesWithTheShippedSample) {
  const SiaToCidTable built = SiaToCidTable::BuiltIn();
  EXPECT_GE(built.codes.size(), 150u);
  const auto sample = ReadTextLines(std::string(QUELL_EXAMPLES_DIR) + "/dc09/SiaToCid.txt");
  ASSERT_TRUE(sample);
  size_t rows = 0;
  for (const std::string& line : *sample) {
    if (line.empty() || line[0] == ';') continue;
    ++rows;
    EXPECT_EQ(built.Find(line.substr(0, 2)), line.substr(3, 4)) << line;
  }
  EXPECT_EQ(rows, 24u);
  EXPECT_EQ(built.Find("CR"), "E459");
  EXPECT_EQ(built.Find("OR"), "E406");
  EXPECT_EQ(built.Find("RR"), "E305");
  for (const auto& [code, cid] : built.codes) {
    EXPECT_TRUE(cid[0] == 'E' || cid[0] == 'R') << code;
    EXPECT_EQ(cid.size(), 4u) << code;
  }
}

TEST(SiaToCidFile, AbsentFileIsOneJournalLineAndTheBuiltInTable) {
  const SiaToCidFile f = ReadSiaToCidFile("/nonexistent-dir-for-test");
  EXPECT_FALSE(f.table.present);
  EXPECT_EQ(f.table.Find("BA"), "E130");
  ASSERT_EQ(f.problems.size(), 1u);
  EXPECT_NE(f.problems[0].find(W("встроенная таблица")), std::string::npos);
}

}  // namespace
}  // namespace quell
