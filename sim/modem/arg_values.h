#pragma once
// Option values shared by the roles that play a modem: bounded whole
// numbers and the call-report family.
#include <QCommandLineParser>
#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "sim/modem/modem_options.h"

namespace quell::sim {

constexpr uint32_t kMaxArgMs = 0x7fffffff;  // tick differences stay unambiguous

// A whole number within [min, max], or nullopt.
std::optional<uint32_t> ParseCount(const QString& text, uint32_t min, uint32_t max);

struct NumberOption {
  const char* name;
  uint32_t min, max;
  uint32_t* target;  // left alone when the option is absent
};
// Reads every option given; false with "--name wants a whole number from
// min to max, not "text"" for the first bad one.
bool ReadNumbers(const QCommandLineParser& parser, std::span<const NumberOption> options,
                 std::string* error);

// --family: caret, ecav or wind.
std::optional<CallFamily> ParseFamily(const QString& text);

}  // namespace quell::sim
