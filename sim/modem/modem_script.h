#pragma once
// Timed actions played on a simulated modem: from a script file, one step a
// line as "<ms> <action> [args]", or from the program's options.
//
//   ring [<number>]         an incoming call (no number: caller ID withheld)
//   hangup                  the other party ends the current call
//   signal <0..31|99>       signal report (also what AT+CSQ answers)
//   service <0..4>          service status report
//   sms <sender> <body...>  a message arrives; the body is the rest of the line
//
// Lines whose first non-blank character is "#" are comments; blank lines
// are skipped. Times count from when the steps are scheduled.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quell::sim {

class SimModem;

struct ModemStep {
  enum class Action { Ring, Hangup, Signal, Service, Sms };
  uint32_t atMs = 0;
  Action action = Action::Ring;
  std::string text;  // ring: the number; sms: the sender
  std::string body;  // sms
  int value = 0;     // signal, service

  bool operator==(const ModemStep&) const = default;
};

constexpr size_t kMaxScriptSteps = 1000;  // well under SimModem::kMaxTimers

// One action with its arguments, without a time; nullopt with the reason.
std::optional<ModemStep> ParseModemAction(std::string_view text, std::string* error);
// A whole script; nullopt with "line N: reason: <line>" for the first bad line.
std::optional<std::vector<ModemStep>> ParseModemScript(std::string_view text, std::string* error);

void RunModemStep(SimModem& modem, const ModemStep& step);
// Schedules every step on the modem, each atMs from now.
void ScheduleModemSteps(SimModem& modem, const std::vector<ModemStep>& steps);

}  // namespace quell::sim
