#include "ui/journal_tone.h"

#include "core/text.h"

namespace quell {

JournalTone JournalToneOf(std::string_view entry) {
  if (!Contains(entry, "ADM")) return JournalTone::Black;
  if (Contains(entry, "|11") || Contains(entry, "|31")) return JournalTone::Purple;
  return JournalTone::Blue;
}

Rgb ToneRgb(JournalTone tone) {
  switch (tone) {
    case JournalTone::Blue:
      return {0, 0, 255};
    case JournalTone::Purple:
      return {128, 0, 128};
    case JournalTone::Black:
      break;
  }
  return {0, 0, 0};
}

}  // namespace quell
