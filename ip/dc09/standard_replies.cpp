#include "ip/dc09/standard_replies.h"

#include <cstdio>

#include "core/dc09/aes_cbc.h"
#include "core/dc09/dc09_stamp.h"
#include "ip/dc09_frames.h"

namespace quell {

std::string Dc09StandardFrame(std::string_view body) {
  char head[16];
  std::snprintf(head, sizeof head, "\n%04X0%03X", unsigned(Crc16Arc(body)),
                unsigned(body.size() & 0xFFF));
  std::string frame = head;
  frame.append(body);
  frame += '\r';
  return frame;
}

std::string Dc09ReplyHeader(const Dc09Header& h) {
  std::string t = h.sequence;
  if (h.hasReceiver) t += "R" + h.receiver;
  t += "L" + h.line + "#" + h.account;
  return t;
}

std::string Dc09Ack(const Dc09Header& h) {
  return Dc09StandardFrame("\"ACK\"" + Dc09ReplyHeader(h) + "[]");
}

std::string Dc09Duh(const Dc09Header& h) {
  return Dc09StandardFrame("\"DUH\"" + Dc09ReplyHeader(h) + "[]");
}

std::string Dc09Nak(const QDateTime& now) {
  return Dc09StandardFrame("\"NAK\"0000R0L0A0[]_" + Dc09StampText(now));
}

std::string Dc09EncryptBlock(std::string_view key, std::string_view text) {
  const size_t size = 1 + text.size();  // '|' and the text
  std::string plain((kAesBlock - size % kAesBlock) % kAesBlock, '0');
  plain += '|';
  plain.append(text);
  const auto cipher = AesCbcEncrypt(key, plain);
  return cipher ? HexUpper(*cipher) : std::string();
}

std::string Dc09EncryptedAck(const Dc09Header& h, std::string_view key, const QDateTime& now) {
  return Dc09StandardFrame("\"*ACK\"" + Dc09ReplyHeader(h) + "[" +
                           Dc09EncryptBlock(key, "]_" + Dc09StampText(now)));
}

}  // namespace quell
