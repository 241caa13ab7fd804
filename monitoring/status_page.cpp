#include "monitoring/status_page.h"

#include <ctime>

#include "monitoring/html_text.h"

namespace quell {
namespace {

const char* StateName(LineState state) {
  switch (state) {
    case LineState::Up:
      return "up";
    case LineState::Down:
      return "down";
    case LineState::Stopped:
      return "stopped";
  }
  return "";
}

// "2026-12-10 11:57:15" (UTC) of milliseconds since the epoch.
std::string UtcText(int64_t ms) {
  const std::time_t seconds = std::time_t(ms / 1000);
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

std::string Row(std::initializer_list<std::string> cells, const char* tag = "td") {
  std::string out = "<tr>";
  for (const std::string& c : cells) out += std::string("<") + tag + ">" + c + "</" + tag + ">";
  return out + "</tr>\n";
}

std::string Yes(bool value) {
  return value ? "<span class=ok>yes</span>" : "<span class=bad>no</span>";
}

}  // namespace

std::string StatusPage(const StatusSnapshot* s, const PendingFigures& pending,
                       const std::vector<RingEvent>& events) {
  std::string out =
      "<!DOCTYPE html>\n<html lang=en><head><meta charset=utf-8>\n"
      "<meta http-equiv=\"refresh\" content=\"5\">\n<title>Quell Server</title>\n"
      "<style>body{font-family:sans-serif;margin:1em}table{border-collapse:collapse;"
      "margin-bottom:1em}td,th{border:1px solid #999;padding:2px 6px;text-align:left}"
      ".ok{color:#060}.bad{color:#b00;font-weight:bold}code{white-space:pre}</style>\n"
      "</head><body>\n<h1>Quell Server</h1>\n";
  if (!s) return out + "<p>Starting: no state published yet.</p>\n</body></html>\n";
  out += "<p>As of " + UtcText(s->nowMs) + " UTC</p>\n";

  out += "<h2>Lines</h2>\n<table id=lines>\n" + Row({"Line", "Type", "State", "Signal"}, "th");
  for (const LineStatus& line : s->lines) {
    const std::string state = StateName(line.state);
    out += Row({HtmlFromUtf8(line.name), HtmlFromUtf8(line.type),
                std::string("<span class=") + (line.state == LineState::Up ? "ok" : "bad") + ">" +
                    state + "</span>",
                line.signal >= 0 && line.signal <= 31 ? std::to_string(line.signal) : "-"});
  }
  if (s->lines.empty()) out += "<tr><td colspan=4>none configured</td></tr>\n";
  out += "</table>\n";

  out += "<h2>Console</h2>\n<table id=console>\n";
  out += Row({"Port", HtmlFromUtf8(s->consolePort)});
  out += Row({"Answering", Yes(s->consoleUp)});
  out += Row({"Queue", std::to_string(s->consoleQueue)});
  out += "</table>\n";

  out += "<h2>Store</h2>\n<table id=store>\n";
  out += Row({"Writes", Yes(s->storeWritable)});
  if (!s->storeWritable) out += Row({"Error", HtmlFromUtf8(s->storeError)});
  const auto oldest = [&](int64_t count, int64_t ms) {
    return count && ms ? UtcText(ms) + " UTC" : std::string("-");
  };
  out += Row({"Pending for the console", std::to_string(pending.console)});
  out += Row({"Oldest for the console", oldest(pending.console, pending.oldestConsoleMs)});
  out += Row({"Pending for the client", std::to_string(pending.client)});
  out += Row({"Oldest for the client", oldest(pending.client, pending.oldestClientMs)});
  out += "</table>\n";

  out += "<h2>IP modules</h2>\n<table id=modules>\n";
  out += Row({"Online", std::to_string(s->modulesOnline)});
  out += Row({"Lost since start", std::to_string(s->modulesLost)});
  out += "</table>\n";

  out += "<h2>Ports</h2>\n<table id=ports>\n" + Row({"Port", "What", "Listening"}, "th");
  for (const ListenerStatus& l : s->listeners)
    out += Row(
        {std::to_string(l.port) + (l.udp ? "/udp" : ""), HtmlFromUtf8(l.what), Yes(l.listening)});
  out += "</table>\n<table id=clients>\n" + Row({"Client port", "Connections"}, "th");
  for (const auto& [port, count] : s->clientConnections)
    out += Row({std::to_string(port), std::to_string(count)});
  out += "</table>\n";

  out += "<h2>Last events</h2>\n<table id=events>\n" +
         Row({"Received (UTC)", "Road", "Line", "Account", "Text"}, "th");
  for (const RingEvent& e : events)
    out += Row({UtcText(e.receivedMs), HtmlFromCp1251(e.road), HtmlFromCp1251(e.line),
                HtmlFromCp1251(e.account), "<code>" + HtmlFromCp1251(e.text) + "</code>"});
  out += "</table>\n</body></html>\n";
  return out;
}

}  // namespace quell
