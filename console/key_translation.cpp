#include "console/key_translation.h"

#include <algorithm>

#include "core/text.h"
#include "core/wire.h"

namespace quell {
namespace {

constexpr const char* kPrefix = "5011 18";
constexpr size_t kBareLength = 13;  // prefix and account

struct KeyCode {
  const char* token;
  const char* code;
};
// Tested in this order; every token found appends its code.
constexpr KeyCode kFixedKeys[] = {
    {"XCALL_KEY05", "R13000001"}, {"XCALL_KEY06", "R13000001"}, {"XCALL_KEY07", "R13000001"},
    {"XCALL_KEY08", "R13000001"}, {"XCALL_KEY09", "E30100000"}, {"XCALL_KEY10", "R30100000"},
    {"XCALL_KEY11", "R30100011"}, {"XCALL_KEY12", "R30100012"}, {"XCALL_KEY01", "E13000001"},
    {"XCALL_KEY02", "R13000001"}, {"XCALL_KEY03", "R13000001"}, {"XCALL_KEY04", "R13000001"},
};

// An object number that could break a console line counts as absent.
bool UsableAccount(const std::string& account) {
  if (IsFalse(account) || account.size() > 4) return false;
  return std::none_of(account.begin(), account.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 32 || b == 127 || c == '|' || c == ';';
  });
}

// The code of the first key of the named line whose name the result word
// holds; only that key counts, even when its code is too short.
std::string LineKeyCode(const std::string& notice, const LineList& lines) {
  const LineEntry* entry = lines.FindByCaption(FieldAt(notice, 1, ";"));
  if (!entry || !entry->Line) return {};
  const std::string word = FieldAt(notice, 3, ";");
  const TLineGSM& line = *entry->Line;
  for (size_t k = 0; k < line.KeyNames.size(); ++k) {
    if (!Contains(word, line.KeyNames[k])) continue;
    // A hand-edited longer code would make the event line too long.
    const std::string code = line.KeyCodes[k].substr(0, 4);
    return code.size() == 4 ? code + "00000" : std::string();
  }
  return {};
}

}  // namespace

std::string KeyTranslation(const std::string& notice, const LineList& lines, bool objectMode,
                           SharedTextList& consoleQueue) {
  if (notice == kClientHeartbeat ||
      (!Contains(notice, "_GUARD_") && !Contains(notice, "XCALL_KEY")))
    return std::string(kFalse);
  const std::string field = FieldAt(notice, 4, ";");
  const std::string account = UsableAccount(field) ? PadLeft(field, 4, '0') : kSubstituteAccount;
  std::string event = kPrefix + account;
  if (Contains(notice, "_GUARD_ON")) event += "R40000000";
  if (Contains(notice, "_GUARD_OFF")) event += "E40000000";
  if (objectMode) {
    event += LineKeyCode(notice, lines);
  } else {
    for (const KeyCode& key : kFixedKeys)
      if (Contains(notice, key.token)) event += key.code;
  }
  if (event.size() <= kBareLength) return std::string(kFalse);
  event += kDC4;
  consoleQueue.Append(event);
  return event;
}

}  // namespace quell
