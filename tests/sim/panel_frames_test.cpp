#include "sim/panel/panel_frames.h"

#include <gtest/gtest.h>

#include "sim/panel/panel_crc.h"

namespace quell::sim {
namespace {

TEST(PanelFrames, Crc8Maxim) {
  const std::pair<std::string, uint8_t> cases[] = {
      {"123456789", 0xA1}, {"1234ABCDEF", 0x55}, {"H1234ABCDEF", 0x14}, {"", 0x00}};
  for (const auto& [text, crc] : cases) EXPECT_EQ(Crc8Maxim(text), crc) << text;
  EXPECT_EQ(HexByte(0x0A), "0A");
}

TEST(PanelFrames, FrameAndReplyTexts) {
  EXPECT_EQ(FrameText({false, "1234", "10", "ABCDEF", ""}), "~123410");
  EXPECT_EQ(FrameText({true, "1234", "75", "ABCDEF", "P1"}), "~H123475ABCDEFP1");
  EXPECT_EQ(ReplyText("1234", "ABCDEF", false), "~1234ABCDEF55");
  EXPECT_EQ(ReplyText("1234", "ABCDEF", true), "~H1234ABCDEF14");
}

TEST(PanelFrames, ChecksReplies) {
  struct Case {
    std::string line;
    bool h;
    std::string verdict;
  };
  const Case cases[] = {
      {"~1234ABCDEF55", false, "crc ok"},
      {"~H1234ABCDEF14", true, "crc ok"},
      {"~1234ABCDEF56", false, "crc bad (want 55)"},
      {"~1234ABCDEF55", true, "crc ok, account 234A not 1234, no H"},
      {"~H1234ABCDEF14", false, "crc ok, account H123 not 1234"},
      {"~999936", false, "crc ok, account 9999 not 1234"},
      {"~1234ABCDEF5", false, "crc bad (want A4)"},
      {"~1234", false, "too short"},
      {"1234ABCDEF55", false, "too short"},  // no "~"
  };
  for (const Case& c : cases)
    EXPECT_EQ(Verdict(CheckReply(c.line, c.h), "1234"), c.verdict) << c.line;
}

}  // namespace
}  // namespace quell::sim
