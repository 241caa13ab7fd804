// A frame for the standard DC-09 receiver. The first input byte picks the
// settings and the way in: bit 0 AnyAccount, bit 1 CheckPlainTime, bit 2
// the rest is the plaintext of an encrypted frame (so the fuzzer reaches
// what follows decryption), bit 3 its token is SIA-DCS instead of ADM-CID,
// bit 4 the bytes come as a TCP stream in pieces, bits 5 and 6 the CRC form
// of the encrypted frame made (hex, raw, hex + CR, raw + CR), bit 7
// UnmappedSia=DUH. Invariants: every reply is a well-formed frame with the
// right CRC and length in the form of the frame received (hex for a frame
// that verifies in none); each frame gets one reply; only an ACK forwards,
// and every line queued is a well-formed event line.
#include <QTimeZone>
#include <cstdio>

#include "core/dc09/aes_cbc.h"
#include "core/dc09/dc09_stamp.h"
#include "core/hex.h"
#include "core/wire.h"
#include "ip/dc09/standard_frame.h"
#include "ip/dc09/standard_receiver.h"
#include "ip/dc09/standard_replies.h"
#include "ip/dc09/stream_framer.h"
#include "ip/dc09_frames.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"

using namespace quell;

namespace {

const std::string kKey = "0123456789ABCDEF";

// LF, the CRC of the body in form, "0" + 3 hex digits of the length, the
// body, CR.
void CheckFrame(const std::string& f, Dc09Form form) {
  const bool raw = form == Dc09Form::Raw || form == Dc09Form::RawCr;
  const bool withCr = form == Dc09Form::HexCr || form == Dc09Form::RawCr;
  const size_t at = raw ? 7 : 9;
  FUZZ_CHECK(f.size() >= at + 1 && f.front() == '\n' && f.back() == '\r');
  const std::string body = f.substr(at, f.size() - at - 1);
  const std::string covered = withCr ? body + "\r" : body;
  const unsigned crc = Crc16Arc(covered);
  char head[16];
  if (raw) {
    FUZZ_CHECK(uint8_t(f[1]) == (crc >> 8) && uint8_t(f[2]) == (crc & 0xFF));
    std::snprintf(head, sizeof head, "0%03X", unsigned(covered.size()));
    FUZZ_CHECK(f.compare(3, 4, head) == 0);
  } else {
    std::snprintf(head, sizeof head, "%04X0%03X", crc, unsigned(covered.size()));
    FUZZ_CHECK(f.compare(1, 8, head) == 0);
  }
  FUZZ_CHECK(body.starts_with("\"ACK\"") || body.starts_with("\"NAK\"0000R0L0A0[]_") ||
             body.starts_with("\"DUH\"") || body.starts_with("\"*ACK\""));
  if (body.starts_with("\"*ACK\"")) {
    const auto cipher = FromHex(body.substr(body.find('[') + 1));
    FUZZ_CHECK(cipher);
    const auto plain = AesCbcDecrypt(kKey, *cipher);
    FUZZ_CHECK(plain && plain->size() >= 22);
    FUZZ_CHECK(ParseDc09Stamp(plain->substr(plain->size() - 19)));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  fuzz::EnsureApplication();
  const uint8_t mode = data[0];
  std::string input(fuzz::Input(data + 1, size - 1));
  test::FakeClock clock(QDateTime(QDate(2024, 1, 1), QTime(12, 0, 5), QTimeZone::utc()));
  Journal journal;
  TraceView trace;
  IpModuleList list;
  IpModuleSettings settings;
  settings.storeOffline = true;  // the console is silent: events are queued
  NoticeList notices;
  SharedTextList queue;
  test::FakeConsoleDevice device;
  test::FakeClientFeed clients;
  clients.wardexClients = 1;
  ConsoleSettings console;
  const CodeTable codes;
  ConsoleOutput output{queue, device, clients, trace, console, settings, codes};
  IpModuleSupervision modules{clock, list, settings, notices, output};
  Dc09Config config;
  config.anyAccount = mode & 1;
  config.checkPlainTime = mode & 2;
  config.accounts = {{"AAAA", "AAAA", {}}, {"123F", "123F", kKey}, {"FOC7688", "7688", {}}};
  if (mode & 128) config.unmappedSia.reset();
  SiaToCidTable sia;
  sia.present = true;
  sia.codes = {{"BA", "E130"}, {"RP", "E602"}};
  StandardDc09Receiver receiver({clock, journal, trace, output, device, settings, clients, modules},
                                config, sia);

  if (mode & 4) {
    const std::string head = mode & 8 ? "\"*SIA-DCS\"0001L0#123F[" : "\"*ADM-CID\"0001L0#123F[";
    const Dc09Form forms[] = {Dc09Form::Hex, Dc09Form::Raw, Dc09Form::HexCr, Dc09Form::RawCr};
    input = Dc09StandardFrame(head + Dc09EncryptBlock(kKey, input), forms[(mode >> 5) & 3]);
  }
  std::vector<std::string> frames;
  if (mode & 16) {
    Dc09StreamFramer framer;
    for (size_t at = 0; at < input.size(); at += 7)
      for (auto& piece : framer.Feed(std::string_view(input).substr(at, 7)))
        frames.push_back(piece.overflow ? std::string() : piece.frame);
  } else {
    frames.push_back(input);
  }
  for (const std::string& frame : frames) {
    const size_t before = queue.Size(), rows = list.Rows().size();
    std::vector<std::string> replies;
    if (frame.empty())
      replies.push_back(receiver.NakNow());
    else
      receiver.Serve(frame, [&](const std::string& r) { replies.push_back(r); });
    FUZZ_CHECK(replies.size() == 1);
    const Dc09ReadFrame read = frame.empty() ? Dc09ReadFrame{} : ReadDc09Frame(frame);
    CheckFrame(replies[0],
               read.status == Dc09ReadFrame::Status::BadCrc ? Dc09Form::Hex : read.form);
    const bool acked = replies[0].find("ACK\"") != std::string::npos;
    if (!acked) FUZZ_CHECK(queue.Size() == before && list.Rows().size() == rows);
    const std::vector<std::string> queued = queue.Snapshot();
    for (size_t i = before; i < queued.size(); ++i)
      FUZZ_CHECK(queued[i].size() == 21 && queued[i].starts_with("5114 18") &&
                 queued[i].back() == kDC4);
  }
  return 0;
}
