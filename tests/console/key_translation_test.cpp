// Key and guard notices into Contact ID event lines for the console.
#include <gtest/gtest.h>

#include "console/key_translation.h"
#include "core/wire.h"

namespace quell {
namespace {

class KeyTranslationTest : public ::testing::Test {
 protected:
  KeyTranslationTest() {
    auto line = std::make_unique<TLineGSM>();
    line->LineName = "L1";
    line->KeyNames = {"KEY01", "KEY02", "KEY03", "KEY04"};
    line->KeyCodes = {"E130", "", "R1301", "E13"};
    lines_.Add("L1", std::move(line));
  }
  std::string Translate(const std::string& notice, bool objectMode) {
    return KeyTranslation(notice, lines_, objectMode, queue_);
  }

  LineList lines_;
  SharedTextList queue_;
};

TEST_F(KeyTranslationTest, NoticesGiveTheirEventLineOrNothing) {
  const std::string dc4(1, kDC4);
  struct Case {
    const char* notice;
    bool objectMode;
    const char* line;  // nullptr: nothing queued
  } cases[] = {
      {"~HB", false, nullptr},
      {"QUELL_LINE_STATUS&L1&ON", false, nullptr},
      {"L1;+79001112233;XCALL_KEY01;57;CID|;", false, "5011 180057E13000001"},
      {"L1;+79001112233;XCALL_KEY02;1;CID|;", false, "5011 180001R13000001"},
      {"L1;+79001112233;XCALL_KEY13;57;CID|;", false, nullptr},
      {"L1;+79001112233;XCALL_KEY_02;57;CID|;", false, nullptr},  // default key names
      {"L1;+79001112233;XCALL_GUARD_ON;|", false, "5011 189999R40000000"},
      {"L1;+79001112233;XCALL_GUARD_OFF;12345;|", false, "5011 189999E40000000"},
      {"L1;+79001112233;XCALL_KEY01;5|7;CID|;", false, "5011 189999E13000001"},
      {"L1;+79001112233;XCALL_KEY01;\r5;CID|;", false, "5011 189999E13000001"},
      // Object table mode: the line's own codes, first four characters.
      {"L1;+79001112233;XCALL_KEY01;57;CIDE130|;", true, "5011 180057E13000000"},
      {"L1;+79001112233;XCALL_KEY03;57;CID|;", true, "5011 180057R13000000"},
      {"L1;+79001112233;XCALL_KEY02;57;CID|;", true, nullptr},  // empty code
      {"L1;+79001112233;XCALL_KEY04;57;CID|;", true, nullptr},  // code too short
      {"L9;+79001112233;XCALL_KEY01;57;CID|;", true, nullptr},  // no such line
      {"L9;+79001112233;XCALL_GUARD_ON;57;|", true, "5011 180057R40000000"},
      // A key name elsewhere in the notice (here the reference) is no key.
      {"L1;+79001112233;XCALL_GUARD_OFF;KEY01;|", true, "5011 189999E40000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.notice);
    queue_.Clear();
    const std::string result = Translate(c.notice, c.objectMode);
    if (c.line) {
      EXPECT_EQ(result, c.line + dc4);
      EXPECT_EQ(queue_.Snapshot(), std::vector<std::string>{c.line + dc4});
    } else {
      EXPECT_EQ(result, "FALSE");
      EXPECT_TRUE(queue_.Empty());
    }
  }
}

}  // namespace
}  // namespace quell
