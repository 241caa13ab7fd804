#pragma once
// The DC-09 time stamp "HH:MM:SS,MM-DD-YYYY" (UTC) as seconds since the
// epoch, both ways.
#include <QDateTime>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quell {

inline constexpr size_t kDc09StampLength = 19;

// nullopt unless text is exactly a valid time and date in that form.
std::optional<int64_t> ParseDc09Stamp(std::string_view text);

// "HH:MM:SS,MM-DD-YYYY" of the moment in UTC; the text stays as it is until
// the thread's next call.
const std::string& Dc09StampText(const QDateTime& at);

}  // namespace quell
