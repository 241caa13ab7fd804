#pragma once
// The data of an SIA-DCS frame in the SIA DC-03 syntax, read by a small
// grammar:
//   data   := ['#' account '|'] {field '|'} block
//   block  := ['N' | 'O'] packet {['/' | '|'] packet}
//   packet := modifier value | event
// The block starts at the first '|'-field that starts with N or O (with
// none, the last field); a first field without '#' before it is the data
// account ("36214|NRP"). A modifier is ri, id, ti, da, pi, or any other
// lower-case pair without a row in the code table, with digits for its value
// (HH:MM[:SS] for ti, MM-DD-YY[YY] for da). The first event is two letters in
// either case and 0-4 digits; a later one two upper-case letters with a row,
// then 0-4 digits, followed by a separator, '^' or the end. Text ('A' and
// text, '^...^') or anything else ends the block. Modifiers apply to the
// events after them; those after the last event apply to it.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quell {

struct SiaPacketEvent {
  std::string code;     // two letters, as received
  std::string address;  // 0-4 digits, as received
  std::string ri;       // the group modifier's digits; empty when absent
  std::string pi;       // the peripheral modifier's digits; empty when absent
};

struct SiaBlock {
  std::string account;  // the data account, without '#'; empty when absent
  std::vector<SiaPacketEvent> events;
};

// hasRow: whether a two-letter code (upper case) has a row in a table.
SiaBlock ReadSiaBlock(std::string_view data, const std::function<bool(std::string_view)>& hasRow);

}  // namespace quell
