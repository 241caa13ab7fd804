// A frame for the standard DC-09 receiver. The first input byte picks the
// settings and the way in: bit 0 AnyAccount, bit 1 CheckPlainTime, bit 2
// the rest is the plaintext of an encrypted frame (so the fuzzer reaches
// what follows decryption), bit 3 its token is SIA-DCS instead of ADM-CID,
// bit 4 the bytes come as a TCP stream in pieces. Invariants: every reply
// is a well-formed frame with the right CRC and length; each frame gets
// one reply; only an ACK forwards, and at most one event line.
#include <QTimeZone>
#include <cstdio>

#include "core/dc09/aes_cbc.h"
#include "core/dc09/dc09_stamp.h"
#include "core/hex.h"
#include "core/wire.h"
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

// LF, CRC of the body, "0" + 3 hex digits of its length, the body, CR.
void CheckFrame(const std::string& f) {
  FUZZ_CHECK(f.size() >= 10 && f.front() == '\n' && f.back() == '\r');
  const std::string body = f.substr(9, f.size() - 10);
  char head[16];
  std::snprintf(head, sizeof head, "%04X0%03X", unsigned(Crc16Arc(body)), unsigned(body.size()));
  FUZZ_CHECK(f.compare(1, 8, head) == 0);
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
  config.accounts = {{"AAAA", "AAAA", {}}, {"123F", "123F", kKey}};
  SiaToCidTable sia;
  sia.present = true;
  sia.codes = {{"BA", "E130"}, {"RP", "E602"}};
  StandardDc09Receiver receiver({clock, journal, trace, output, device, settings, clients, modules},
                                config, sia);

  if (mode & 4) {
    const std::string head = mode & 8 ? "\"*SIA-DCS\"0001L0#123F[" : "\"*ADM-CID\"0001L0#123F[";
    input = Dc09StandardFrame(head + Dc09EncryptBlock(kKey, input));
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
    CheckFrame(replies[0]);
    const bool acked = replies[0].find("ACK\"") != std::string::npos;
    FUZZ_CHECK(queue.Size() <= before + 1);
    if (!acked) FUZZ_CHECK(queue.Size() == before && list.Rows().size() == rows);
    if (queue.Size() > before) {
      const std::string e = queue.Snapshot().back();
      FUZZ_CHECK(e.size() == 21 && e.starts_with("5114 18") && e.back() == kDC4);
    }
  }
  return 0;
}
