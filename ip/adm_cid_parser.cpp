#include "ip/adm_cid_parser.h"

#include <algorithm>

#include "core/notice_field.h"
#include "core/text.h"
#include "core/wire.h"

namespace quell {
namespace {

// A control byte inside a cut piece would split the console's record (CR,
// DC4) or cut the client's text short (NUL); a ";" or "|" would add a field
// to the client's "MLR;...;MLR_EVENT|" text.
bool SplitsAField(std::string_view piece) {
  return std::any_of(piece.begin(), piece.end(), SplitsFields);
}

constexpr std::string_view kSplitsAField = "a field holds \";\", \"|\" or a control byte";

}  // namespace

std::string ModuleAccount(std::string_view m) {
  std::string account;
  if (int p = Pos("ADM-CID", m); p > 0)
    account = Substring(m, p + 26, 4);
  else if (StartsWith(m, "SR"))
    account = Substring(m, 18, 4);
  std::replace_if(account.begin(), account.end(), SplitsFields, '_');
  return account;
}

AdmCidParser::AdmCidParser(IpModuleSupervision& modules, ConsoleOutput& output,
                           const IpModuleSettings& settings)
    : modules_(modules), output_(output), settings_(settings) {}

std::string AdmCidParser::Parse(std::string_view message) {
  rejection_ = {};
  if (int p = Pos("ADM-CID", message); p > 0) return ParseAdmCid(message, p);
  if (!StartsWith(message, "SR")) {
    rejection_ = "neither an \"ADM-CID\" event nor an SR keep-alive";
    return std::string(kFalse);
  }
  return ParseKeepAlive(message);
}

// Offsets counted from the "A" of the token: receiver 15-16, line 21,
// account 26-29, qualifier 31, code 32-34, group 36-37, zone 39-41.
// With q = p + 13 (p the 1-based token position) these are q+2, q+8, ...
std::string AdmCidParser::ParseAdmCid(std::string_view m, int p) {
  const int q = p + 13;
  const std::string qualifierChar = Substring(m, q + 18, 1);
  const char* qualifier = qualifierChar == "1" ? "E" : qualifierChar == "3" ? "R" : nullptr;
  if (!qualifier) {
    rejection_ = "the event qualifier is neither 1 nor 3";
    return std::string(kFalse);
  }

  const std::string receiver = Substring(m, q + 2, 2);
  const std::string line = Substring(m, q + 8, 1);
  const std::string account = Substring(m, q + 13, 4);
  std::string r = "5" + receiver + line + " 18" + account + qualifier + Substring(m, q + 19, 3) +
                  Substring(m, q + 23, 2) + Substring(m, q + 26, 3);
  if (SplitsAField(r)) {
    rejection_ = kSplitsAField;
    return std::string(kFalse);
  }
  r += kCR;
  modules_.Update(account, ModuleMessageKind::AdmCid, Contains(r, "E602"), line, receiver);
  return r;
}

// Keep-alive, positions from the "S": receiver 5-6, line 11, account 18-21.
std::string AdmCidParser::ParseKeepAlive(std::string_view m) {
  const std::string receiver = Substring(m, 5, 2);
  const std::string line = Substring(m, 11, 1);
  const std::string account = Substring(m, 18, 4);
  if (SplitsAField(receiver + line + account)) {
    rejection_ = kSplitsAField;
    return std::string(kFalse);
  }
  std::string r = "1" + receiver + line + "      " + account + " @" + kCR;
  // A keep-alive too short to name its account identifies no module: it is
  // answered, but gets no row (which would later be reported lost under an
  // empty account) and no test event.
  if (account.empty()) return r;
  modules_.Update(account, ModuleMessageKind::KeepAlive, true, line, receiver);
  if (settings_.testSignal)
    output_.Append("5" + receiver + line + " 18" + account + "R60200000" + kDC4);
  return r;
}

}  // namespace quell
