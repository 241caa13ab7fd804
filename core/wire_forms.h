#pragma once
// Every form of text the gateway sends to the console port, to the second
// console port (8041) and to the Wardex client, in one place. Nothing in
// the gateway calls this to decide what to send: tests and fuzz targets
// assert it on everything sent, so a field forged from outside (a ";" in an
// account, a CR in a receiver message) fails a test instead of reaching a
// client.
#include <string>
#include <string_view>

#include "core/notice.h"

namespace quell {

enum class WireTarget {
  ConsoleMlr2,       // the console port in "Sugard MLR2"
  ConsoleAdemco685,  // the console port in "Ademco685"
  Console2,          // the second console port
  WardexClient,      // notices and events for the first Wardex client
};

// Empty when text (one write or send) is a form the gateway sends to
// target; otherwise what is wrong with it. For the Wardex client the form
// is the one of origin; relayed and test-button texts are passed through
// unread and always pass.
std::string WireFormFault(WireTarget target, std::string_view text,
                          NoticeOrigin origin = NoticeOrigin::Relay);

}  // namespace quell
