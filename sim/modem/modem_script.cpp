#include "sim/modem/modem_script.h"

#include "sim/modem/at_syntax.h"
#include "sim/modem/sim_modem.h"

namespace quell::sim {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Takes the first blank-separated word off text.
std::string_view NextWord(std::string_view& text) {
  text = Trim(text);
  size_t end = 0;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  std::string_view word = text.substr(0, end);
  text = Trim(text.substr(end));
  return word;
}

std::optional<int> ParseLevel(std::string_view word, int max, bool allow99) {
  std::optional<int> n = ParseNumber(word);
  if (!n || (*n > max && !(allow99 && *n == 99))) return std::nullopt;
  return n;
}

std::optional<uint32_t> ParseMs(std::string_view word) {
  if (word.empty() || word.size() > 10) return std::nullopt;
  uint64_t value = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + uint64_t(c - '0');
  }
  if (value > 0x7fffffff) return std::nullopt;  // tick differences stay unambiguous
  return uint32_t(value);
}

}  // namespace

std::optional<ModemStep> ParseModemAction(std::string_view text, std::string* error) {
  using A = ModemStep::Action;
  ModemStep step;
  const std::string_view action = NextWord(text);
  auto fail = [&](const std::string& reason) {
    *error = reason;
    return std::nullopt;
  };
  if (action == "ring") {
    step.action = A::Ring;
    step.text = std::string(NextWord(text));
  } else if (action == "hangup") {
    step.action = A::Hangup;
  } else if (action == "signal" || action == "service") {
    bool signal = action == "signal";
    step.action = signal ? A::Signal : A::Service;
    std::optional<int> n = ParseLevel(NextWord(text), signal ? 31 : 4, signal);
    if (!n) return fail(signal ? "signal wants 0..31 or 99" : "service wants 0..4");
    step.value = *n;
  } else if (action == "sms") {
    step.action = A::Sms;
    step.text = std::string(NextWord(text));
    if (step.text.empty() || text.empty()) return fail("sms wants a sender and a body");
    step.body = std::string(text);
    text = {};
  } else {
    return fail(action.empty() ? "no action" : "unknown action \"" + std::string(action) + "\"");
  }
  if (!text.empty()) return fail("unexpected \"" + std::string(text) + "\"");
  return step;
}

std::optional<std::vector<ModemStep>> ParseModemScript(std::string_view text, std::string* error) {
  std::vector<ModemStep> steps;
  int number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (line.empty() || line.front() == '#') continue;
    auto fail = [&](const std::string& reason) {
      *error = "line " + std::to_string(number) + ": " + reason + ": " + std::string(line);
      return std::nullopt;
    };
    std::string_view rest = line;
    std::optional<uint32_t> at = ParseMs(NextWord(rest));
    if (!at) return fail("the line must start with a time in milliseconds");
    std::string reason;
    std::optional<ModemStep> step = ParseModemAction(rest, &reason);
    if (!step) return fail(reason);
    if (steps.size() >= kMaxScriptSteps)
      return fail("more than " + std::to_string(kMaxScriptSteps) + " steps");
    step->atMs = *at;
    steps.push_back(std::move(*step));
  }
  return steps;
}

void RunModemStep(SimModem& modem, const ModemStep& step) {
  switch (step.action) {
    case ModemStep::Action::Ring:
      return modem.IncomingCall(step.text);
    case ModemStep::Action::Hangup:
      return modem.RemoteHangup();
    case ModemStep::Action::Signal:
      return modem.ReportSignal(step.value);
    case ModemStep::Action::Service:
      return modem.ReportService(step.value);
    case ModemStep::Action::Sms:
      return modem.ReceiveSms(step.text, step.body);
  }
}

void ScheduleModemSteps(SimModem& modem, const std::vector<ModemStep>& steps) {
  for (const ModemStep& step : steps)
    modem.Schedule(step.atMs, [&modem, step] { RunModemStep(modem, step); });
}

}  // namespace quell::sim
