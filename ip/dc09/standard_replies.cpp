#include "ip/dc09/standard_replies.h"

#include "core/dc09/aes_cbc.h"
#include "core/dc09/dc09_stamp.h"
#include "core/hex.h"
#include "ip/dc09_frames.h"

namespace quell {

namespace {

// digits upper-case hex digits of value at to.
void WriteHex(char* to, unsigned value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (int i = digits - 1; i >= 0; --i, value >>= 4) to[i] = kDigits[value & 15];
}

// The header as received: a field that was absent stays absent.
void AppendReplyHeader(std::string& out, const Dc09Header& h) {
  out += h.sequence;
  if (h.hasReceiver) {
    out += 'R';
    out += h.receiver;
  }
  if (h.hasLine) {
    out += 'L';
    out += h.line;
  }
  if (h.hasAccount) {
    out += '#';
    out += h.account;
  }
}

// token + header + '[', with room for more bytes after it.
std::string ReplyBody(std::string_view token, const Dc09Header& h, size_t more) {
  std::string body;
  body.reserve(token.size() + h.sequence.size() + h.receiver.size() + h.line.size() +
               h.account.size() + 4 + more);
  body += token;
  AppendReplyHeader(body, h);
  body += '[';
  return body;
}

}  // namespace

std::string Dc09StandardFrame(std::string_view body, Dc09Form form) {
  // Every reply is framed: built in one string, without formatting calls.
  if (form == Dc09Form::Hex) {
    char head[9] = {'\n', 0, 0, 0, 0, '0'};
    WriteHex(head + 1, Crc16Arc(body), 4);
    WriteHex(head + 6, unsigned(body.size() & 0xFFF), 3);
    std::string frame;
    frame.reserve(sizeof head + body.size() + 1);
    frame.append(head, sizeof head);
    frame.append(body);
    frame += '\r';
    return frame;
  }
  const bool raw = form == Dc09Form::Raw || form == Dc09Form::RawCr;
  const bool withCr = form == Dc09Form::HexCr || form == Dc09Form::RawCr;
  std::string frame(raw ? 7 : 9, '0');
  frame[0] = '\n';
  frame.append(body);
  frame += '\r';
  const size_t bodyAt = raw ? 7 : 9;
  const std::string_view covered =
      std::string_view(frame).substr(bodyAt, body.size() + (withCr ? 1 : 0));
  const unsigned crc = Crc16Arc(covered);
  if (raw) {
    frame[1] = char(crc >> 8);
    frame[2] = char(crc & 0xFF);
  } else {
    WriteHex(frame.data() + 1, crc, 4);
  }
  WriteHex(frame.data() + bodyAt - 3, unsigned(covered.size() & 0xFFF), 3);
  return frame;
}

std::string Dc09Ack(const Dc09Header& h, Dc09Form form) {
  return Dc09StandardFrame(ReplyBody("\"ACK\"", h, 1) + ']', form);
}

std::string Dc09Duh(const Dc09Header& h, Dc09Form form) {
  return Dc09StandardFrame(ReplyBody("\"DUH\"", h, 1) + ']', form);
}

std::string Dc09Nak(const QDateTime& now, Dc09Form form) {
  return Dc09StandardFrame("\"NAK\"0000R0L0A0[]_" + Dc09StampText(now), form);
}

std::string Dc09EncryptBlock(std::string_view key, std::string_view text) {
  const size_t size = 1 + text.size();  // '|' and the text
  std::string plain((kAesBlock - size % kAesBlock) % kAesBlock, '0');
  plain += '|';
  plain.append(text);
  const auto cipher = AesCbcEncrypt(key, plain);
  return cipher ? HexUpper(*cipher) : std::string();
}

std::string Dc09EncryptedAck(const Dc09Header& h, std::string_view key, const QDateTime& now,
                             Dc09Form form) {
  char text[2 + kDc09StampLength] = {']', '_'};
  Dc09StampText(now).copy(text + 2, kDc09StampLength);
  const std::string block = Dc09EncryptBlock(key, std::string_view(text, sizeof text));
  std::string body = ReplyBody("\"*ACK\"", h, block.size());
  body += block;
  return Dc09StandardFrame(body, form);
}

}  // namespace quell
