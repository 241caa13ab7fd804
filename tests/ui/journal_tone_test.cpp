#include "ui/journal_tone.h"

#include <gmock/gmock.h>

namespace quell {
namespace {

TEST(JournalToneTest, AdmEntriesAreBlueAndTheirOpeningsAndRestoresPurple) {
  const std::string frame = " 08/12/2026 14/03/27 : \"ADM-CID\"0001R0001L0001[#001234|";
  EXPECT_EQ(JournalToneOf(frame + "3130 01 015]"), JournalTone::Purple);
  EXPECT_EQ(JournalToneOf(frame + "1130 01 015]"), JournalTone::Purple);
  EXPECT_EQ(JournalToneOf(frame + "1602 00 000]"), JournalTone::Blue);
  // "|31" or "|11" anywhere in the entry counts, before "ADM" too.
  EXPECT_EQ(JournalToneOf("|31 then ADM"), JournalTone::Purple);
  EXPECT_EQ(JournalToneOf("ADM"), JournalTone::Blue);
}

TEST(JournalToneTest, EntriesWithoutAdmAreBlackWhateverElseTheyHold) {
  EXPECT_EQ(JournalToneOf("#001234|3130 01 015"), JournalTone::Black);
  EXPECT_EQ(JournalToneOf("|11"), JournalTone::Black);
  EXPECT_EQ(JournalToneOf("adm-cid |31"), JournalTone::Black);  // the test is case-sensitive
  EXPECT_EQ(JournalToneOf(""), JournalTone::Black);
}

TEST(JournalToneTest, ColoursOfTheTones) {
  const auto rgb = [](JournalTone t) {
    const Rgb c = ToneRgb(t);
    return std::vector<int>{c.r, c.g, c.b};
  };
  EXPECT_EQ(rgb(JournalTone::Black), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(rgb(JournalTone::Blue), (std::vector<int>{0, 0, 255}));
  EXPECT_EQ(rgb(JournalTone::Purple), (std::vector<int>{128, 0, 128}));
  EXPECT_EQ(kJournalBackground.r, 166);
  EXPECT_EQ(kJournalBackground.g, 202);
  EXPECT_EQ(kJournalBackground.b, 240);
}

}  // namespace
}  // namespace quell
