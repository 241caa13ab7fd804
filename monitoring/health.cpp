#include "monitoring/health.h"

namespace quell {

std::string JsonString(std::string_view utf8) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char ch : utf8) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

namespace {

bool Fresh(const StatusSnapshot* s, SteadyTime now) {
  return s && now - s->published < kLiveLimit;
}

}  // namespace

HealthAnswer LiveAnswer(const StatusSnapshot* snapshot, SteadyTime now) {
  const bool live = Fresh(snapshot, now);
  return {live ? 200 : 503, live ? "{\"live\":true}\n" : "{\"live\":false}\n"};
}

HealthAnswer ReadyAnswer(const StatusSnapshot* snapshot, SteadyTime now) {
  if (!Fresh(snapshot, now))
    return {503, "{\"ready\":false,\"reason\":\"the engine has published no recent state\"}\n"};
  const StatusSnapshot& s = *snapshot;
  bool fieldListening = true;
  std::string listeners;
  for (const ListenerStatus& l : s.listeners) {
    if (l.field && !l.listening) fieldListening = false;
    listeners += std::string(listeners.empty() ? "" : ",") + "{\"what\":" + JsonString(l.what) +
                 ",\"port\":" + std::to_string(l.port) + ",\"udp\":" + (l.udp ? "true" : "false") +
                 ",\"listening\":" + (l.listening ? "true" : "false") +
                 ",\"gates_ready\":" + (l.field ? "true" : "false") + "}";
  }
  const bool ready = fieldListening && s.storeWritable;
  std::string body = std::string("{\"ready\":") + (ready ? "true" : "false");
  body += std::string(",\"field_listeners\":") + (fieldListening ? "true" : "false");
  body += std::string(",\"store_writes\":") + (s.storeWritable ? "true" : "false");
  if (!s.storeWritable) body += ",\"store_error\":" + JsonString(s.storeError);
  body += ",\"console_port\":" + JsonString(s.consolePort);
  body += std::string(",\"console_up\":") + (s.consoleUp ? "true" : "false");
  body += ",\"listeners\":[" + listeners + "]}\n";
  return {ready ? 200 : 503, body};
}

}  // namespace quell
