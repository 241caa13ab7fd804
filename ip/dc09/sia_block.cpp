#include "ip/dc09/sia_block.h"

#include <optional>

#include "core/text.h"
#include "ip/dc09/standard_frame.h"

namespace quell {
namespace {

constexpr size_t kMaxValueDigits = 16;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsUpper(char c) {
  return c >= 'A' && c <= 'Z';
}
bool IsLower(char c) {
  return c >= 'a' && c <= 'z';
}
bool IsLetter(char c) {
  return IsUpper(c) || IsLower(c);
}

// Digits at t[at...], at most max of them; advances at.
std::string Digits(std::string_view t, size_t& at, size_t max) {
  size_t n = 0;
  while (at + n < t.size() && n < max && IsDigit(t[at + n])) ++n;
  std::string d(t.substr(at, n));
  at += n;
  return d;
}

// "dd" + sep + "dd" at t[at...]; advances at.
bool Pair(std::string_view t, size_t& at, char sep) {
  if (t.size() < at + 5 || t[at + 2] != sep) return false;
  for (size_t i : {0, 1, 3, 4})
    if (!IsDigit(t[at + i])) return false;
  at += 5;
  return true;
}

// A modifier's value after its name at t[at...]; false when it does not read.
bool ModifierValue(std::string_view name, std::string_view t, size_t& at, std::string* value) {
  if (name == "ti") {
    // HH:MM or HH:MM:SS
    if (!Pair(t, at, ':')) return false;
    if (at + 2 < t.size() && t[at] == ':' && IsDigit(t[at + 1]) && IsDigit(t[at + 2])) at += 3;
    return true;
  }
  if (name == "da") {
    // MM-DD-YY or MM-DD-YYYY
    if (!Pair(t, at, '-') || at + 2 >= t.size() || t[at] != '-') return false;
    ++at;
    const std::string year = Digits(t, at, 4);
    return year.size() == 2 || year.size() == 4;
  }
  *value = Digits(t, at, kMaxValueDigits);
  return at >= t.size() || !IsDigit(t[at]);
}

bool EndsPacket(std::string_view t, size_t at) {
  return at >= t.size() || t[at] == '/' || t[at] == '|' || t[at] == '^';
}

// The first field as a data account without '#': 1-16 letters or digits.
std::string PlainAccount(std::string_view data, const std::vector<size_t>& fields) {
  const std::string_view field = data.substr(0, fields[1] - 1);
  bool plain = !field.empty() && field.size() <= 16;
  for (char c : field) plain = plain && IsDc09AccountChar(c);
  return plain ? std::string(field) : std::string();
}

// Where the block starts in data (after the account, if any).
size_t BlockStart(std::string_view data, std::string* account) {
  std::vector<size_t> fields = {0};
  for (size_t i = 0; i < data.size(); ++i)
    if (data[i] == '|') fields.push_back(i + 1);
  size_t first = 0;
  if (const std::string_view a = Dc09DataAccount(data); !a.empty() && fields.size() > 1) {
    *account = std::string(a);
    first = 1;
  }
  size_t block = fields.back();
  for (size_t f = first; f < fields.size(); ++f)
    if (fields[f] < data.size() && (data[fields[f]] == 'N' || data[fields[f]] == 'O')) {
      block = fields[f];
      break;
    }
  // A first field before the block, without '#', is the account.
  if (first == 0 && fields.size() > 1 && block == fields[1]) *account = PlainAccount(data, fields);
  return block;
}

}  // namespace

SiaBlock ReadSiaBlock(std::string_view data, const std::function<bool(std::string_view)>& hasRow) {
  SiaBlock block;
  const std::string_view b = data.substr(BlockStart(data, &block.account));
  size_t at = 0;
  if (at < b.size() && (b[at] == 'N' || b[at] == 'O')) ++at;
  std::string ri, pi;  // the modifiers in force for the next event
  // Modifiers read since the last event: they are the last event's when no
  // event follows them.
  std::optional<std::string> trailingRi, trailingPi;
  for (bool first = true;; first = false) {
    if (!first && at < b.size() && (b[at] == '/' || b[at] == '|')) ++at;
    if (b.size() < at + 2 || !IsLetter(b[at]) || !IsLetter(b[at + 1])) break;
    const std::string_view pair = b.substr(at, 2);
    const std::string code = Upper(pair);
    const bool lower = IsLower(pair[0]) && IsLower(pair[1]);
    const bool named = pair == "ri" || pair == "id" || pair == "ti" || pair == "da" || pair == "pi";
    if (named || (lower && !hasRow(code))) {
      size_t next = at + 2;
      std::string value;
      if (!ModifierValue(pair, b, next, &value)) break;
      at = next;
      if (pair == "ri") ri = *(trailingRi = value);
      if (pair == "pi") pi = *(trailingPi = value);
      continue;
    }
    if (!block.events.empty() && !(IsUpper(pair[0]) && IsUpper(pair[1]) && hasRow(code))) break;
    size_t next = at + 2;
    std::string address = Digits(b, next, 4);
    if (!block.events.empty() && !EndsPacket(b, next)) break;  // text, not an event
    block.events.push_back({std::string(pair), std::move(address), ri, pi});
    trailingRi.reset();
    trailingPi.reset();
    at = next;
    if (block.events.size() == 1 && !EndsPacket(b, at)) break;  // the rest is ignored
  }
  if (!block.events.empty()) {
    if (trailingRi) block.events.back().ri = *trailingRi;
    if (trailingPi) block.events.back().pi = *trailingPi;
  }
  return block;
}

}  // namespace quell
