#include "console/ademco685.h"

#include "core/text.h"
#include "core/wire.h"

namespace quell {

namespace {

constexpr int kConsideredLength = 20;
// Qualifier and code, a blank, zone: "E130 001".
constexpr size_t kKeyLength = 8;

// The Ademco685 event code of the first record whose second field contains
// key: the first two characters of its first field. Empty when no record
// matches, or when the matching record has no first field.
std::string LookUpCode(const std::string& key, const CodeTable& codes) {
  const std::string_view tab(&kTAB, 1);
  for (const std::string& record : codes) {
    if (!Contains(FieldAt(record, 2, tab), key)) continue;
    const std::string code = FieldAt(record, 1, tab);
    if (IsFalse(code)) return {};
    return Substring(code, 1, 2);
  }
  return {};
}

}  // namespace

std::string Ademco685Line(std::string_view line, std::string_view receiverNumber,
                          const CodeTable& codes) {
  // A line cut short by a short message would otherwise reach its CR (or
  // DC4) here, which then stood inside the console's record.
  while (!line.empty() && (line.back() == kCR || line.back() == kDC4)) line.remove_suffix(1);
  const std::string text = Substring(line, 1, kConsideredLength);
  const std::string receiver = PadLeft(receiverNumber, 2, '0');

  if (Contains(text, "@")) {
    // The account ends where a shortened supervision line's " @" begins.
    const size_t mark = text.rfind(" @");
    const std::string account = mark != std::string::npos && mark < 14
                                    ? (mark > 10 ? text.substr(10, mark - 10) : std::string())
                                    : Substring(text, 11, 4);
    return receiver + " " + account + " 00" + kCR;
  }

  const std::string account = Substring(text, 8, 4);
  const std::string key = Substring(text, 12, 4) + " " + Substring(text, 18, 3);
  // A cut-off event line would give a partial key that matches records of
  // other events; such a line has no code.
  if (key.size() != kKeyLength) return {};

  const std::string code = LookUpCode(key, codes);
  if (code.empty()) return {};
  return receiver + " " + account + " " + code + kCR;
}

}  // namespace quell
