#pragma once
// The SIA DC-03 event codes that have a Contact ID counterpart, built in so
// that an SIA-DCS event is acknowledged and forwarded without a table file.
#include <span>
#include <string_view>

namespace quell {

struct SiaToCidRow {
  std::string_view sia;  // two upper-case letters
  std::string_view cid;  // qualifier E or R and the three-digit Contact ID code
};

std::span<const SiaToCidRow> BuiltInSiaToCid();

}  // namespace quell
