#pragma once
// The lines a panel and the gateway exchange in a data call, each ended by
// CR LF on the wire (not part of the texts here).
//
// Panel frame: "~" ["H"] account(4) code(2) [extension(6) when the code is
// "75"] [payload].
// Gateway reply: "~" ["H" when the frame had it] account(4) payload crc(2),
// the crc being Crc8Maxim over everything after the "~", in upper-case hex.
#include <string>
#include <string_view>

namespace quell::sim {

constexpr size_t kAccountSize = 4;
constexpr size_t kCodeSize = 2;
constexpr size_t kExtensionSize = 6;

struct PanelFrame {
  bool h = false;
  std::string account;    // kAccountSize characters
  std::string code;       // kCodeSize characters
  std::string extension;  // kExtensionSize characters, sent only after code "75"
  std::string payload;
};

std::string FrameText(const PanelFrame& frame);
// A well-formed reply, as the gateway should send it.
std::string ReplyText(std::string_view account, std::string_view payload, bool h);

// What a panel finds in a reply line.
struct ReplyCheck {
  bool complete = false;  // long enough to hold the marker, an account and a crc
  bool crcOk = false;
  bool markerOk = false;  // "~H" exactly when the panel's frames carry the H
  std::string account;    // as received
  std::string wantCrc;    // the crc the line should end with
};
ReplyCheck CheckReply(std::string_view line, bool h);
// "crc ok", or what is wrong: "crc bad (want 55)", "account 9999 not 1234",
// "no H", "too short", joined by ", ".
std::string Verdict(const ReplyCheck& check, std::string_view account);

}  // namespace quell::sim
