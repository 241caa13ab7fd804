// One SIA DC-09 datagram on UDP 8005 through the receiver: every reply is a
// well-formed frame with its CRC, and an acknowledged event reaches the
// console queue.
#include <cstdio>

#include "core/text.h"
#include "core/wire.h"
#include "ip/dc09_frames.h"
#include "ip/dc09_receiver.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"

using namespace quell;

namespace {

// LF, four hex digits of the body's CRC, the length text, the body, CR.
void CheckFrame(const std::string& f) {
  FUZZ_CHECK(f.size() >= 10 && f.front() == '\n' && f.back() == '\r');
  const std::string body = f.substr(9, f.size() - 10);
  char crc[5];
  std::snprintf(crc, sizeof crc, "%04X", unsigned(Crc16Arc(body)));
  FUZZ_CHECK(f.compare(1, 4, crc) == 0);
  FUZZ_CHECK(body.starts_with("\"ACK\"") || body.starts_with("\"NACK\""));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::EnsureApplication();
  const std::string datagram(fuzz::Input(data, size));
  test::FakeClock clock;
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
  PortSettings ports;
  const CodeTable codes;
  ConsoleOutput output{queue, device, clients, trace, console, settings, codes};
  IpModuleSupervision modules{clock, list, settings, notices, output};
  AdmCidParser parser{modules, output, settings};
  Dc09Receiver receiver{clock, journal, trace, output, device, settings, ports, clients, parser};

  std::vector<std::string> replies;
  receiver.Handle(datagram, [&](const std::string& bytes) { replies.push_back(bytes); });

  if (Contains(datagram, "REQ")) {
    FUZZ_CHECK(replies.size() == 2 && replies[1] == "\r" && ToInt(replies[0]));
    return 0;
  }
  if (IsFalse(Dc09RelayText(datagram))) FUZZ_CHECK(replies.empty());
  FUZZ_CHECK(replies.size() <= 1);
  for (const std::string& f : replies) CheckFrame(f);
  const bool acked = replies.size() == 1 && replies[0].find("\"ACK\"") == 9;
  if (acked) {
    // Only a periodic test report is acknowledged without a console event.
    const bool testReport = Pos("E602", parser.Parse(Dc09RelayText(datagram))) > 1;
    FUZZ_CHECK(queue.Size() == (testReport ? 0u : 1u));
    FUZZ_CHECK(clients.wardex.size() == queue.Size());
  }
  for (const std::string& e : queue.Snapshot()) FUZZ_CHECK(e.back() == kDC4);
  return 0;
}
