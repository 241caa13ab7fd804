#pragma once
// How a journal entry is coloured: IP module events ("ADM") stand out in
// blue, and their openings and restores ("|11", "|31") in purple.
#include <string_view>

namespace quell {

enum class JournalTone { Black, Blue, Purple };

JournalTone JournalToneOf(std::string_view entry);

struct Rgb {
  int r, g, b;
};

Rgb ToneRgb(JournalTone tone);

// Every entry, selected or not, is drawn on this background.
inline constexpr Rgb kJournalBackground{166, 202, 240};

}  // namespace quell
