// One message from an IP module on 8095-8098 (or rebuilt from a DC-09
// datagram) through the ADM-CID parser, and its Ademco685 form.
#include "core/text.h"
#include "core/wire.h"
#include "ip/adm_cid_parser.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"

using namespace quell;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view m = fuzz::Input(data, size);
  test::FakeClock clock;
  IpModuleList list;
  IpModuleSettings settings;
  settings.testSignal = true;
  NoticeList notices;
  SharedTextList queue;
  test::FakeConsoleDevice device;
  test::FakeClientFeed clients;
  TraceView trace;
  ConsoleSettings console;
  const CodeTable codes = {"31\tE130 001 E130 002\tBurglary", "11\tE110 001\tFire"};
  ConsoleOutput output{queue, device, clients, trace, console, settings, codes};
  IpModuleSupervision modules{clock, list, settings, notices, output};
  AdmCidParser parser{modules, output, settings};

  const std::string r = parser.Parse(m);
  const int token = Pos("ADM-CID", m);
  if (IsFalse(r)) {
    FUZZ_CHECK(queue.Empty() && list.Rows().empty());
    return 0;
  }
  FUZZ_CHECK(token > 0 || StartsWith(m, "SR"));
  FUZZ_CHECK(r.size() >= 2 && r.back() == kCR);
  // No control character inside: a DC4 or CR would split the console's record.
  for (size_t i = 0; i + 1 < r.size(); ++i) FUZZ_CHECK(uint8_t(r[i]) >= 0x20);
  if (token > 0) {
    // "5" receiver line " 18" account qualifier code group zone, CR: whole
    // when the message reaches the zone's last character.
    FUZZ_CHECK(r[0] == '5' && r.size() <= 21);
    if (size_t(token) + 41 <= m.size()) FUZZ_CHECK(r.size() == 21);
  } else {
    FUZZ_CHECK(r[0] == '1' && r.ends_with(std::string(" @") + kCR));
  }
  for (const IpModuleRow& row : list.Rows())
    FUZZ_CHECK(!row.caption.empty() && row.caption.size() <= 4);
  for (const std::string& e : queue.Snapshot()) FUZZ_CHECK(e.back() == kDC4);
  const std::string a = output.Ademco685(r);
  FUZZ_CHECK(a.empty() || a.back() == kCR);
  // Every form the receivers send this result in.
  const std::string e = r.substr(0, r.size() - 1);
  test::CheckWire(WireTarget::WardexClient, "MLR;" + r + ";MLR_EVENT|", NoticeOrigin::IpEvent);
  test::CheckWire(WireTarget::Console2, r);
  test::CheckWire(WireTarget::ConsoleMlr2, e + kDC4);
  test::CheckWire(WireTarget::ConsoleMlr2, e + kDC4 + kDC4);  // queued, then written
  if (a.size() > 1) test::CheckWire(WireTarget::ConsoleAdemco685, kLF + a);
  return 0;
}
