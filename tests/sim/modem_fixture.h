#pragma once
// A SimModem on a hand-moved millisecond tick, reply framing and steps.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/modem/modem_script.h"
#include "sim/modem/sim_modem.h"

namespace quell::sim::test {

// Lines as the modem frames them: CR LF line CR LF each.
inline std::string Framed(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += "\r\n" + line + "\r\n";
  return out;
}

inline ModemStep Step(uint32_t at, ModemStep::Action action, std::string text = {},
                      std::string body = {}, int value = 0) {
  ModemStep step;
  step.atMs = at;
  step.action = action;
  step.text = std::move(text);
  step.body = std::move(body);
  step.value = value;
  return step;
}

struct ModemUnderTest {
  explicit ModemUnderTest(ModemOptions options = Quiet())
      : modem(std::move(options), [this] { return now; }) {}

  static ModemOptions Quiet() {
    ModemOptions options;
    options.echo = false;
    return options;
  }
  // Sends one command line and returns the whole reply.
  std::string Command(const std::string& line) {
    modem.Feed(line + "\r\n");
    return modem.TakeOutput();
  }
  // Moves the tick on and returns what the due events sent.
  std::string Advance(uint32_t ms) {
    now += ms;
    modem.Poll();
    return modem.TakeOutput();
  }

  uint32_t now = 1000;
  SimModem modem;
};

}  // namespace quell::sim::test
