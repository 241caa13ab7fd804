#include "sim/panel/panel_frames.h"

#include "sim/panel/panel_crc.h"

namespace quell::sim {

std::string FrameText(const PanelFrame& frame) {
  std::string text = frame.h ? "~H" : "~";
  text += frame.account + frame.code;
  if (frame.code == "75") text += frame.extension;
  return text + frame.payload;
}

std::string ReplyText(std::string_view account, std::string_view payload, bool h) {
  std::string body = h ? "H" : "";
  body += std::string(account) + std::string(payload);
  return "~" + body + HexByte(Crc8Maxim(body));
}

ReplyCheck CheckReply(std::string_view line, bool h) {
  ReplyCheck check;
  const size_t marker = h ? 2 : 1;
  if (line.size() < marker + kAccountSize + 2 || line.front() != '~') return check;
  check.complete = true;
  const std::string_view body = line.substr(1, line.size() - 3);
  check.wantCrc = HexByte(Crc8Maxim(body));
  check.crcOk = line.substr(line.size() - 2) == check.wantCrc;
  check.markerOk = h ? line[1] == 'H' : true;
  check.account = std::string(line.substr(marker, kAccountSize));
  return check;
}

std::string Verdict(const ReplyCheck& check, std::string_view account) {
  if (!check.complete) return "too short";
  std::string verdict = check.crcOk ? "crc ok" : "crc bad (want " + check.wantCrc + ")";
  if (check.account != account)
    verdict += ", account " + check.account + " not " + std::string(account);
  if (!check.markerOk) verdict += ", no H";
  return verdict;
}

}  // namespace quell::sim
