#include "ip/dc09/standard_frame.h"

#include "core/dc09/dc09_stamp.h"
#include "core/hex.h"
#include "ip/dc09_frames.h"

namespace quell {
namespace {

constexpr size_t kBodyStart = 9;  // LF, 4 CRC digits, 4 length characters

// Reads 1..max hex digits at text[at]; advances at past them.
bool HexRun(std::string_view text, size_t& at, size_t min, size_t max, std::string* out) {
  size_t n = 0;
  while (at + n < text.size() && HexDigitValue(text[at + n]) >= 0) ++n;
  if (n < min || n > max) return false;
  *out = std::string(text.substr(at, n));
  at += n;
  return true;
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
    if (!HexRun(body, at, 1, 6, &h.receiver)) return false;
  }
  if (at >= body.size() || body[at] != 'L') return false;
  ++at;
  if (!HexRun(body, at, 1, 6, &h.line)) return false;
  if (at >= body.size() || body[at] != '#') return false;
  ++at;
  if (!HexRun(body, at, 3, 16, &h.account)) return false;
  if (at >= body.size() || body[at] != '[') return false;
  ++at;
  return true;
}

}  // namespace

Dc09ReadFrame ReadDc09Frame(std::string_view bytes) {
  Dc09ReadFrame f;
  const size_t lf = bytes.find('\n');
  if (lf == std::string_view::npos) return f;
  const size_t cr = bytes.find('\r', lf);
  if (cr == std::string_view::npos || cr < lf + kBodyStart) return f;
  const std::string_view frame = bytes.substr(lf, cr - lf);
  unsigned crc = 0;
  for (size_t i = 1; i <= 4; ++i) {
    const int v = HexDigitValue(frame[i]);
    if (v < 0) return f;
    crc = crc * 16 + unsigned(v);
  }
  const std::string_view body = frame.substr(kBodyStart);
  if (Crc16Arc(body) != crc) {
    f.status = Dc09ReadFrame::Status::BadCrc;
    return f;
  }
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

std::string_view WithoutDataAccount(std::string_view data) {
  if (!data.empty() && data.front() == '#') {
    size_t n = 1;
    while (n < data.size() && HexDigitValue(data[n]) >= 0) ++n;
    data.remove_prefix(n);
  }
  if (!data.empty() && data.front() == '|') data.remove_prefix(1);
  return data;
}

}  // namespace quell
