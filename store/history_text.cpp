#include "store/history_text.h"

#include <QDateTime>
#include <QRegularExpression>
#include <cstdio>

#include "core/cp1251.h"

namespace quell {

std::optional<int64_t> ParseLocalTime(const std::string& text, bool endOfSpan) {
  static const QRegularExpression form(
      QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?: (\\d{2}):(\\d{2})(?::(\\d{2}))?)?$"));
  const QRegularExpressionMatch m = form.match(QString::fromStdString(text));
  if (!m.hasMatch()) return std::nullopt;
  const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
  const bool hasMinute = m.hasCaptured(4) && !m.captured(4).isEmpty();
  const bool hasSecond = m.hasCaptured(6) && !m.captured(6).isEmpty();
  const QTime time(hasMinute ? m.captured(4).toInt() : 0, hasMinute ? m.captured(5).toInt() : 0,
                   hasSecond ? m.captured(6).toInt() : 0);
  if (!date.isValid() || !time.isValid()) return std::nullopt;
  QDateTime at(date, time);
  if (endOfSpan) {
    at = hasSecond ? at.addSecs(1) : hasMinute ? at.addSecs(60) : at.addDays(1);
    return at.toMSecsSinceEpoch() - 1;
  }
  return at.toMSecsSinceEpoch();
}

std::optional<HistoryOptions> ParseHistoryOptions(const std::vector<std::string>& args,
                                                  std::string* error) {
  HistoryOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      o.help = true;
      return o;
    }
    if (i + 1 >= args.size()) {
      *error = "unknown option or missing value: " + a;
      return std::nullopt;
    }
    const std::string& v = args[++i];
    if (a == "--workdir") {
      o.workDir = v;
    } else if (a == "--account") {
      o.query.account = v;
    } else if (a == "--node") {
      o.node = v;
    } else if (a == "--since" || a == "--until") {
      const auto ms = ParseLocalTime(v, a == "--until");
      if (!ms) {
        *error = a + ": expected YYYY-MM-DD[ HH:MM[:SS]], got " + v;
        return std::nullopt;
      }
      (a == "--since" ? o.query.sinceMs : o.query.untilMs) = *ms;
    } else if (a == "--format" && (v == "text" || v == "csv")) {
      o.format = v == "csv" ? HistoryFormat::Csv : HistoryFormat::Text;
    } else {
      *error = "unknown option or value: " + a + " " + v;
      return std::nullopt;
    }
  }
  return o;
}

std::string ReadableText(const std::string& bytes) {
  std::string plain;
  for (unsigned char c : bytes) {
    if (c < 0x20 || c == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(c));
      plain += hex;
    } else {
      plain += char(c);
    }
  }
  return Cp1251ToUtf8(plain);
}

std::string EventLineOf(const EventRow& row) {
  if (!row.consoleText.empty()) return row.consoleText;
  if (!row.noticeText.empty()) return row.noticeText;
  return row.raw;
}

const char* FateText(EventFate fate) {
  switch (fate) {
    case EventFate::Pending:
      return "pending";
    case EventFate::Delivered:
      return "delivered";
    case EventFate::Dropped:
      return "dropped";
    case EventFate::NotForConsole:
      return "not for console";
    case EventFate::None:
      break;
  }
  return "-";
}

namespace {

std::string Went(const EventRow& row) {
  return std::string("console ") + FateText(row.console) + ", client " + FateText(row.notice);
}

// The event text without the terminators that end a console entry.
std::string WithoutTerminators(std::string text) {
  while (!text.empty() && (text.back() == '\x14' || text.back() == '\r' || text.back() == '\n'))
    text.pop_back();
  return text;
}

std::string Csv(const std::string& field) {
  std::string quoted = "\"";
  for (char c : field) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

std::string HistoryCsvHeader() {
  return "seq,received,road,line,peer,account,event,went";
}

std::string HistoryTextHeader() {
  return "received (local time)    road line  peer  account  event  went";
}

std::string HistoryUsage() {
  return "usage: quell-events [--workdir DIR] [--account XXXX] [--since T] [--until T]\n"
         "                    [--format text|csv]\n"
         "Prints the events the gateway stored, in the order it accepted them, one a line:\n"
         "when it was received, the road (tcp, dc09, mlr, vorti, sms, key, module), the line\n"
         "or port, the sender, the account, the event and where it went (console and client:\n"
         "delivered, pending, dropped, not for console, or - when it had no such copy).\n"
         "  --workdir DIR   the gateway's working directory (default: the current one)\n"
         "  --account XXXX  only this account\n"
         "  --since T       from this local time on; T is YYYY-MM-DD[ HH:MM[:SS]]\n"
         "  --until T       up to the end of this day, minute or second\n"
         "  --format csv    CSV with a header line (the event with its terminators as \\xNN)\n"
         "It opens the events file read-only and may run beside the gateway.\n";
}

std::string HistoryLine(const EventRow& row, HistoryFormat format) {
  const std::string when = QDateTime::fromMSecsSinceEpoch(row.receivedMs)
                               .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                               .toStdString();
  const std::string event = ReadableText(
      format == HistoryFormat::Csv ? EventLineOf(row) : WithoutTerminators(EventLineOf(row)));
  if (format == HistoryFormat::Csv) {
    return std::to_string(row.seq) + "," + when + "," + Csv(row.road) + "," +
           Csv(ReadableText(row.line)) + "," + Csv(row.peer) + "," +
           Csv(ReadableText(row.account)) + "," + Csv(event) + "," + Csv(Went(row));
  }
  return when + "  " + row.road + " " + ReadableText(row.line) + "  " +
         (row.peer.empty() ? "-" : row.peer) + "  " +
         (row.account.empty() ? "-" : ReadableText(row.account)) + "  " + event + "  " + Went(row);
}

}  // namespace quell
