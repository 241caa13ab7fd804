#pragma once
// Reads a DC-09 frame as the panels on the market write it, by its syntax:
// LF, CRC, length (4 characters, not used), '"' [*]token '"', sequence
// (4 digits), optional R + 0-6 hex, optional L + 0-6 hex, optional '#' +
// account (1-16 letters or digits), '[' and the rest up to CR. The rest of
// a plain frame is the data up to ']', extended data blocks "[...]" and an
// optional "_HH:MM:SS,MM-DD-YYYY"; an encrypted frame's rest is its
// ciphertext in hex.
//
// The CRC comes in one of two forms, told apart by where the opening quote
// sits: 4 hex digits (quote at +9 after the LF) or two raw bytes, high byte
// first (quote at +7, after "0" + 3 hex digits of length). Either covers
// the body, or the body and its closing CR (one family of GSM panels); the
// replies to a frame are written in the frame's form.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quell {

enum class Dc09Form : uint8_t {
  Hex,    // 4 hex digits over the body: the standard form
  Raw,    // 2 raw bytes over the body
  HexCr,  // 4 hex digits, CRC and length over body + CR
  RawCr,  // 2 raw bytes, CRC and length over body + CR
};

struct Dc09Header {
  bool encrypted = false;  // the token was written with a leading '*'
  std::string token;       // without the '*'
  std::string sequence;    // 4 digits
  bool hasReceiver = false;
  std::string receiver;  // after R
  bool hasLine = false;
  std::string line;  // after L
  bool hasAccount = false;
  std::string account;  // after '#', as received
};

struct Dc09ReadFrame {
  enum class Status { Ok, Unreadable, BadCrc };
  Status status = Status::Unreadable;
  Dc09Form form = Dc09Form::Hex;  // meaningful once the CRC verified
  Dc09Header header;
  std::string rest;  // after the header's '[' up to the CR
};

// The first frame in bytes, from the first LF. Its CR is the first one after
// the opening quote; in a datagram (whole) the last CR is tried as well when
// the first does not verify.
Dc09ReadFrame ReadDc09Frame(std::string_view bytes, bool whole = true);

// Where the CR that ends the frame starting at frame[0] (an LF) is searched
// from: after the opening quote of either CRC form, else after the LF.
// frame holds at least kDc09FormBytes bytes.
inline constexpr size_t kDc09FormBytes = 11;  // LF and the 10 bytes that tell the form
size_t Dc09CrSearchStart(std::string_view frame);

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

// The account of data that starts with '#' + 1-16 letters or digits; empty
// otherwise.
std::string_view Dc09DataAccount(std::string_view data);

// The data after an optional "#account" and an optional '|'.
std::string_view WithoutDataAccount(std::string_view data);

// Letters and digits, the characters of DC-09 accounts.
inline bool IsDc09AccountChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace quell
