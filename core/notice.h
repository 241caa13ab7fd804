#pragma once
// A text for the first Wardex client together with where it came from. The
// origin decides what else may happen to the text: only caller-ID results
// reach the key translation, only ring notices the loopback client, and
// only relayed texts may be dropped when too many wait.
#include <cstdint>
#include <string>

namespace quell {

enum class NoticeOrigin : uint8_t {
  CallerIdRing,           // "line;number;type;mode;CRING;"
  CallerIdKeyResult,      // answered call with the line's key code: "...;CID<code>|;"
  CallerIdPlainResult,    // answered call without a key code: "...;|"
  CallerIdDialledResult,  // a call the client ordered: "line;target;word;|"
  LineStatus,             // "QUELL_LINE_STATUS&line&..."
  DataCall,               // "SELVA_RES|" and the data-call error texts
  SerialReceiver,         // MLR and VORTI receiver messages
  ShortMessage,           // Contact ID reports received as short messages
  IpEvent,                // "MLR;" + event line + ";MLR_EVENT|" from the IP receivers
  LossRestore,            // IP module lost or heard again
  Heartbeat,              // "~HB"
  Relay,                  // a text received on the relay port
  TestButton,             // the hidden test button's text
};

struct Notice {
  NoticeOrigin origin;
  std::string text;
};

inline bool IsCallerIdResult(NoticeOrigin origin) {
  return origin == NoticeOrigin::CallerIdKeyResult || origin == NoticeOrigin::CallerIdPlainResult ||
         origin == NoticeOrigin::CallerIdDialledResult;
}

// Texts the gateway passes on without knowing their form.
inline bool IsPassedThrough(NoticeOrigin origin) {
  return origin == NoticeOrigin::Relay || origin == NoticeOrigin::TestButton;
}

}  // namespace quell
