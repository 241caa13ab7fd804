#pragma once
// Reads a DC-09 frame as the panels on the market write it, by its syntax:
// LF, CRC (4 hex digits, either case), length (4 characters, not used),
// '"' [*]token '"', sequence (4 digits), optional R + 1-6 hex, L + 1-6 hex,
// '#' + account (3-16 hex), '[' and the rest up to CR. The rest of a plain
// frame is the data up to ']', extended data blocks "[...]" and an optional
// "_HH:MM:SS,MM-DD-YYYY"; an encrypted frame's rest is its ciphertext in hex.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quell {

struct Dc09Header {
  bool encrypted = false;  // the token was written with a leading '*'
  std::string token;       // without the '*'
  std::string sequence;    // 4 digits
  bool hasReceiver = false;
  std::string receiver;  // after R
  std::string line;      // after L
  std::string account;   // as received
};

struct Dc09ReadFrame {
  enum class Status { Ok, Unreadable, BadCrc };
  Status status = Status::Unreadable;
  Dc09Header header;
  std::string rest;  // after the header's '[' up to the CR
};

// The first frame in bytes: from the first LF to the next CR.
Dc09ReadFrame ReadDc09Frame(std::string_view bytes);

// What a plain frame carries after its '[' (and an encrypted one once
// decrypted, pad removed).
struct Dc09Content {
  std::string data;              // up to the first ']'
  std::optional<int64_t> stamp;  // seconds since the epoch (UTC)
};

// nullopt unless the text is data, ']', extended data blocks and, when
// present (or required), a valid time stamp ending it.
std::optional<Dc09Content> ReadDc09Content(std::string_view rest, bool stampRequired);

// A decrypted block without its pad: the longest run of bytes other than
// '|', '[' and ']' and then one '|' if present are skipped.
std::string_view WithoutDc09Pad(std::string_view plaintext);

// The data after an optional "#account" and an optional '|'.
std::string_view WithoutDataAccount(std::string_view data);

}  // namespace quell
