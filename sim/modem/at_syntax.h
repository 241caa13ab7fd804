#pragma once
// Pieces of AT command syntax the simulated modem checks.
#include <optional>
#include <string>
#include <string_view>

namespace quell::sim {

std::string Upper(std::string_view text);
// text without one pair of surrounding double quotes.
std::string_view Unquoted(std::string_view text);

// Settings a basic command string ("V1Q0E1S0=0", after its "AT") changes.
struct BasicSettings {
  std::optional<bool> echo;  // last E0/E1 in the string
  bool reset = false;        // Z: back to the stored profile
  std::optional<int> s0;     // last S0=n: answer at ring n (0 = never)
};
// Parses a basic command string (upper case, without "AT"): letters with
// optional digits, "&" commands, S-registers set (Sn=v) or read (Sn?).
// A, D and H are commands of their own and are refused inside a string.
std::optional<BasicSettings> ParseBasicString(std::string_view upper);

// A voice dial target: digits, "+", "*", "#" and "," only, not empty.
bool IsDialTarget(std::string_view target);

// A decimal number 0..99999, nothing else.
std::optional<int> ParseNumber(std::string_view text);

// Extended commands whose set form ("AT+NAME=...") is accepted and answered
// OK without further effect (name in upper case, with its prefix).
bool IsAcceptedSetCommand(std::string_view name);

}  // namespace quell::sim
