#pragma once
// Asserts the gateway's wire forms on what the fakes and the client ports
// are given to send. A test run reports a fault as a test failure (set up
// by the test entry); anything else, such as a fuzz target, stops at once.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>

#include "core/wire_forms.h"

namespace quell::test {

inline std::function<void(const std::string& fault)>& WireFaultHandler() {
  static std::function<void(const std::string&)> handler = [](const std::string& fault) {
    std::fprintf(stderr, "wire form fault: %s\n", fault.c_str());
    std::abort();
  };
  return handler;
}

// Bytes below the blank as <hex>, so the fault line shows them.
inline std::string Printable(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (uint8_t(c) >= 0x20 && uint8_t(c) != 0x7F) {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<%02X>", unsigned(uint8_t(c)));
      out += hex;
    }
  }
  return out;
}

inline void CheckWire(WireTarget target, std::string_view text,
                      NoticeOrigin origin = NoticeOrigin::Relay) {
  const std::string fault = WireFormFault(target, text, origin);
  if (!fault.empty()) WireFaultHandler()(fault + ": " + Printable(text));
}

// The client ports' observer for tests: every send checked.
inline void CheckClientSend(bool wardex, NoticeOrigin origin, const std::string& text) {
  CheckWire(wardex ? WireTarget::WardexClient : WireTarget::Console2, text, origin);
}

}  // namespace quell::test
