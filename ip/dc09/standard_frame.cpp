#include "ip/dc09/standard_frame.h"

#include "core/dc09/dc09_stamp.h"
#include "core/hex.h"
#include "ip/dc09_frames.h"

namespace quell {
namespace {

constexpr size_t kHexQuote = 9;  // LF, 4 CRC digits, 4 length characters
constexpr size_t kRawQuote = 7;  // LF, 2 CRC bytes, 4 length characters
constexpr size_t kMaxAccount = 16;

bool HexDigits(std::string_view text, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i)
    if (HexDigitValue(text[i]) < 0) return false;
  return true;
}

// The quote's position of the frame's CRC form (frame[0] is the LF), or 0
// when the frame has neither form.
size_t QuoteAt(std::string_view frame) {
  if (frame.size() > kHexQuote && HexDigits(frame, 1, 5) && frame[kHexQuote] == '"')
    return kHexQuote;
  if (frame.size() > kRawQuote && frame[3] == '0' && HexDigits(frame, 4, 7) &&
      frame[kRawQuote] == '"')
    return kRawQuote;
  return 0;
}

// min..max characters that pass accept at text[at]; advances at past them.
template <typename Accept>
bool Run(std::string_view text, size_t& at, size_t min, size_t max, std::string* out,
         Accept accept) {
  size_t n = 0;
  while (at + n < text.size() && accept(text[at + n])) ++n;
  if (n < min || n > max) return false;
  *out = std::string(text.substr(at, n));
  at += n;
  return true;
}

bool IsHex(char c) {
  return HexDigitValue(c) >= 0;
}

bool ReadHeader(std::string_view body, Dc09Header& h, size_t& at) {
  if (body.empty() || body[0] != '"') return false;
  const size_t close = body.find('"', 1);
  if (close == std::string_view::npos) return false;
  std::string_view token = body.substr(1, close - 1);
  if (!token.empty() && token[0] == '*') {
    h.encrypted = true;
    token.remove_prefix(1);
  }
  if (token.empty()) return false;
  h.token = std::string(token);
  at = close + 1;
  if (body.size() < at + 4) return false;
  for (size_t i = at; i < at + 4; ++i)
    if (body[i] < '0' || body[i] > '9') return false;
  h.sequence = std::string(body.substr(at, 4));
  at += 4;
  if (at < body.size() && body[at] == 'R') {
    ++at;
    h.hasReceiver = true;
    if (!Run(body, at, 0, 6, &h.receiver, IsHex)) return false;
  }
  if (at < body.size() && body[at] == 'L') {
    ++at;
    h.hasLine = true;
    if (!Run(body, at, 0, 6, &h.line, IsHex)) return false;
  }
  if (at < body.size() && body[at] == '#') {
    ++at;
    h.hasAccount = true;
    if (!Run(body, at, 1, kMaxAccount, &h.account, IsDc09AccountChar)) return false;
  }
  if (at >= body.size() || body[at] != '[') return false;
  ++at;
  return true;
}

// The CRC the frame carries in its form; frame[0] is the LF.
unsigned CarriedCrc(std::string_view frame, size_t quote) {
  if (quote == kRawQuote) return unsigned(uint8_t(frame[1])) << 8 | uint8_t(frame[2]);
  unsigned crc = 0;
  for (size_t i = 1; i <= 4; ++i) crc = crc * 16 + unsigned(HexDigitValue(frame[i]));
  return crc;
}

// The form in which the body ending at cr verifies, if any.
std::optional<Dc09Form> Verify(std::string_view frame, size_t quote, size_t cr) {
  const unsigned crc = CarriedCrc(frame, quote);
  const bool raw = quote == kRawQuote;
  if (Crc16Arc(frame.substr(quote, cr - quote)) == crc) return raw ? Dc09Form::Raw : Dc09Form::Hex;
  if (Crc16Arc(frame.substr(quote, cr - quote + 1)) == crc)
    return raw ? Dc09Form::RawCr : Dc09Form::HexCr;
  return std::nullopt;
}

// Frames in neither form are read as they always were: the CR is the first
// after the LF, the CRC 4 hex digits over what follows the length field.
Dc09ReadFrame ReadOtherFrame(std::string_view frame) {
  Dc09ReadFrame f;
  const size_t cr = frame.find('\r');
  if (cr == std::string_view::npos || cr < kHexQuote || !HexDigits(frame, 1, 5)) return f;
  if (Crc16Arc(frame.substr(kHexQuote, cr - kHexQuote)) != CarriedCrc(frame, kHexQuote))
    f.status = Dc09ReadFrame::Status::BadCrc;
  return f;  // the body does not start with a quote: it does not read
}

}  // namespace

size_t Dc09CrSearchStart(std::string_view frame) {
  const size_t quote = QuoteAt(frame);
  return quote ? quote + 1 : 1;
}

Dc09ReadFrame ReadDc09Frame(std::string_view bytes, bool whole) {
  const size_t lf = bytes.find('\n');
  if (lf == std::string_view::npos) return {};
  const std::string_view frame = bytes.substr(lf);
  const size_t quote = QuoteAt(frame);
  if (!quote) return ReadOtherFrame(frame);
  Dc09ReadFrame f;
  size_t cr = frame.find('\r', quote + 1);
  if (cr == std::string_view::npos) return f;
  std::optional<Dc09Form> form = Verify(frame, quote, cr);
  if (!form && whole) {
    // A datagram's frame may hold a CR before its end; its last CR is tried.
    const size_t last = frame.rfind('\r');
    if (last != cr) {
      form = Verify(frame, quote, last);
      if (form) cr = last;
    }
  }
  if (!form) {
    f.status = Dc09ReadFrame::Status::BadCrc;
    return f;
  }
  f.form = *form;
  const std::string_view body = frame.substr(quote, cr - quote);
  size_t at = 0;
  if (!ReadHeader(body, f.header, at)) return f;
  f.rest = std::string(body.substr(at));
  f.status = Dc09ReadFrame::Status::Ok;
  return f;
}

std::optional<Dc09Content> ReadDc09Content(std::string_view rest, bool stampRequired) {
  const size_t close = rest.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  Dc09Content c;
  c.data = std::string(rest.substr(0, close));
  size_t at = close + 1;
  while (at < rest.size() && rest[at] == '[') {
    const size_t end = rest.find(']', at);
    if (end == std::string_view::npos) return std::nullopt;
    at = end + 1;
  }
  if (at < rest.size() && rest[at] == '_') {
    c.stamp = ParseDc09Stamp(rest.substr(at + 1));
    if (!c.stamp) return std::nullopt;
    at = rest.size();
  }
  if (at != rest.size() || (stampRequired && !c.stamp)) return std::nullopt;
  return c;
}

std::string_view WithoutDc09Pad(std::string_view plaintext) {
  const size_t end = plaintext.find_first_of("|[]");
  if (end == std::string_view::npos) return {};
  plaintext.remove_prefix(end);
  if (plaintext.front() == '|') plaintext.remove_prefix(1);
  return plaintext;
}

std::string_view Dc09DataAccount(std::string_view data) {
  if (data.empty() || data.front() != '#') return {};
  size_t n = 1;
  while (n < data.size() && IsDc09AccountChar(data[n])) ++n;
  if (n == 1 || n > kMaxAccount + 1) return {};
  return data.substr(1, n - 1);
}

std::string_view WithoutDataAccount(std::string_view data) {
  if (!data.empty() && data.front() == '#') {
    size_t n = 1;
    while (n < data.size() && IsDc09AccountChar(data[n])) ++n;
    data.remove_prefix(n);
  }
  if (!data.empty() && data.front() == '|') data.remove_prefix(1);
  return data;
}

}  // namespace quell
