#include "core/wire_forms.h"

#include <algorithm>
#include <vector>

#include "core/notice_field.h"
#include "core/wire.h"

namespace quell {
namespace {

bool NoSplitters(std::string_view s) {
  return std::none_of(s.begin(), s.end(), SplitsFields);
}

// "5" receiver line " 18" account qualifier, then code, group and zone: a
// short message cut short gives fewer of the last eight, the key
// translation may append more than one nine-character code.
bool IsEventLine(std::string_view s) {
  if (s.size() < 12 || s[0] != '5' || s.substr(4, 3) != " 18") return false;
  if (s[11] != 'E' && s[11] != 'R') return false;
  if (s.size() > 20 && (s.size() - 11) % 9 != 0) return false;
  return NoSplitters(s);
}

// "1" receiver line, six blanks, account, " @" (shorter when the keep-alive
// was short).
bool IsSupervisionLine(std::string_view s) {
  return s.size() <= 16 && s.size() >= 3 && s[0] == '1' && s.ends_with(" @") && NoSplitters(s);
}

// What an MLR receiver line passes on: the bytes 22-127 of its message.
bool IsReceiverMessage(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return uint8_t(c) >= 22 && uint8_t(c) <= 127; });
}

bool IsConsoleRecord(std::string_view s) {
  return IsEventLine(s) || IsSupervisionLine(s) || IsReceiverMessage(s);
}

std::string_view WithoutSuffix(std::string_view s, char c) {
  return s.ends_with(c) ? s.substr(0, s.size() - 1) : s;
}

std::string ConsoleMlr2Fault(std::string_view t) {
  if (t == kTroubleLine || t == kHeartbeatLine) return {};
  if (!t.ends_with(kDC4)) return "no DC4 at the end";
  // The queue's entries may bring their own DC4 before the one added.
  const std::string_view record = WithoutSuffix(t.substr(0, t.size() - 1), kDC4);
  return IsConsoleRecord(record) ? "" : "not an event, supervision or receiver line";
}

std::string ConsoleAdemcoFault(std::string_view t) {
  if (t == kTroubleLine) return {};
  if (t.size() < 3 || t.front() != kLF || t.back() != kCR) return "not LF ... CR";
  const std::string_view body = t.substr(1, t.size() - 2);
  if (body.size() > 10 || !NoSplitters(body)) return "not an Ademco685 line";
  return {};
}

std::string Console2Fault(std::string_view t) {
  if (t.ends_with(kCR)) {
    const std::string_view line = t.substr(0, t.size() - 1);
    return IsEventLine(line) || IsSupervisionLine(line) ? "" : "not an IP event line";
  }
  return IsConsoleRecord(WithoutSuffix(t, kDC4)) ? "" : "not a console queue entry";
}

std::vector<std::string_view> Split(std::string_view s, char separator) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t at = s.find(separator, start);
    fields.push_back(
        s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
    if (at == std::string_view::npos) return fields;
    start = at + 1;
  }
}

size_t Count(std::string_view s, char c) {
  return size_t(std::count(s.begin(), s.end(), c));
}

std::string WardexFault(std::string_view t, NoticeOrigin origin) {
  if (IsPassedThrough(origin)) return {};
  const auto shape = [&](size_t semicolons, size_t bars,
                         std::initializer_list<std::string_view> endings) -> std::string {
    if (Count(t, ';') != semicolons) return "wrong number of \";\" fields";
    if (Count(t, '|') != bars) return "wrong number of \"|\"";
    for (std::string_view e : endings)
      if (t.ends_with(e)) return {};
    return "wrong ending";
  };
  const std::vector<std::string_view> f = Split(t, ';');
  std::string rest(t);  // what may hold no control byte at all
  std::string fault;
  switch (origin) {
    case NoticeOrigin::CallerIdRing:
      fault = shape(5, 0, {";CRING;"});
      break;
    case NoticeOrigin::CallerIdKeyResult:
      fault = shape(5, 1, {"|;"});
      if (fault.empty() && !f[4].starts_with("CID")) fault = "no key code";
      break;
    case NoticeOrigin::CallerIdPlainResult:
      fault = shape(4, 1, {";|"});
      break;
    case NoticeOrigin::CallerIdDialledResult:
      fault = shape(3, 1, {";|"});
      break;
    case NoticeOrigin::LineStatus:
      fault = t.starts_with("QUELL_LINE_STATUS&")
                  ? shape(0, 0, {"&ON", "&OFF", "&SERVICE_ON", "&SERVICE_OFF"})
                  : "no status";
      break;
    case NoticeOrigin::DataCall:
      fault = t.ends_with(";SELVA_RES|")
                  ? shape(4, 1, {"|"})
                  : shape(3, 1, {";SELVA_REFRESH_ERROR|", ";SELVA_RELOAD_ERRORR|"});
      break;
    case NoticeOrigin::SerialReceiver:
      fault = shape(3, 1, {";MLR_EVENT|", ";VORTI_EVENT|"});
      // A VORTI message keeps its terminating CR.
      if (fault.empty() && t.ends_with(";VORTI_EVENT|") && f[1].ends_with(kCR))
        rest.erase(f[0].size() + f[1].size(), 1);
      break;
    case NoticeOrigin::ShortMessage:
      fault = shape(3, 1, {";MLR_EVENT|"});
      if (fault.empty() && !IsEventLine(f[1])) fault = "not an event line";
      break;
    case NoticeOrigin::IpEvent: {
      fault = t.starts_with("MLR;") ? shape(2, 1, {"\r;MLR_EVENT|"}) : "no \"MLR;\"";
      if (!fault.empty()) break;
      const std::string_view line = f[1].substr(0, f[1].size() - 1);
      if (!IsEventLine(line) && !IsSupervisionLine(line)) fault = "not an IP event line";
      rest = std::string(line);
      break;
    }
    case NoticeOrigin::LossRestore:
      fault = t.starts_with("QuellServer;") ? shape(2, 1, {";MLR_EVENT|"}) : "no sender";
      if (fault.empty() && !IsEventLine(f[1])) fault = "not an event line";
      break;
    case NoticeOrigin::Heartbeat:
      fault = t == kClientHeartbeat ? "" : "not \"~HB\"";
      break;
    case NoticeOrigin::Relay:
    case NoticeOrigin::TestButton:
      break;
  }
  if (!fault.empty()) return fault;
  if (std::any_of(rest.begin(), rest.end(), IsControlByte)) return "control byte";
  return {};
}

}  // namespace

std::string WireFormFault(WireTarget target, std::string_view text, NoticeOrigin origin) {
  switch (target) {
    case WireTarget::ConsoleMlr2:
      return ConsoleMlr2Fault(text);
    case WireTarget::ConsoleAdemco685:
      return ConsoleAdemcoFault(text);
    case WireTarget::Console2:
      return Console2Fault(text);
    case WireTarget::WardexClient:
      return WardexFault(text, origin);
  }
  return "unknown target";
}

}  // namespace quell
