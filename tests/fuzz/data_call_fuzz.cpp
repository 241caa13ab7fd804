// Frames a panel sends during a data call ("\r"-separated), answered from
// the panel table: every reply carries its CRC-8, the exchange closes once.
#include <cstdio>

#include "core/text.h"
#include "lines/call_state.h"
#include "lines/data_call.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fake_clock.h"
#include "tests/support/wire_check.h"

using namespace quell;

namespace {

// "~" + body + two hex digits of the body's CRC-8, then CR LF.
void CheckReply(const std::string& w) {
  FUZZ_CHECK(w.size() >= 5 && w.front() == '~' && w.ends_with("\r\n"));
  const std::string body = w.substr(1, w.size() - 5);
  char crc[3];
  std::snprintf(crc, sizeof crc, "%02X", unsigned(Crc8Maxim(body)));
  FUZZ_CHECK(w.compare(w.size() - 4, 2, crc) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  test::FakeClock clock;
  NoticeList notices;
  TraceView trace;
  const std::vector<std::string> panels = {
      "event refresh reload ~921610#~0000A100#first reply",
      "event refresh reload ~921620#~0000B200#second reply",
      "event refresh reload ~92167512#~0000D4#long code",
      "event refresh reload closing#~921602C300#closing reply"};
  LineContext ctx;
  ctx.clock = &clock;
  ctx.trace = &trace;
  ctx.panels = &panels;
  TLineGSM line;
  line.LineName = "S1";
  line.LineType = "GSM Selva";
  line.NoticeQueue = &notices;
  line.EventMark = "refresh";
  line.CallState = kActiveModem;
  auto port = std::make_shared<fuzz::ScriptedPort>();
  line.PortHandle = port;

  const std::string_view input = fuzz::Input(data, size);
  bool over = false;
  size_t start = 0;
  while (start < input.size()) {
    size_t end = input.find('\r', start);
    if (end == std::string_view::npos) end = input.size();
    const size_t before = port->writes.size();
    const int step = DataCallFrame(line, std::string(input.substr(start, end - start)), ctx);
    start = end + 1;
    FUZZ_CHECK(step >= -1 && step <= 2);
    if (over) FUZZ_CHECK(step == -1 && port->writes.size() == before);
    over = line.DataCallStep < 0;
  }
  for (const std::string& w : port->writes) CheckReply(w);
  FUZZ_CHECK(notices.Size() <= 1);
  // Each notice in the form of its origin, whatever the line was sent.
  for (const Notice& n : notices.Entries())
    test::CheckWire(WireTarget::WardexClient, n.text, n.origin);
  if (over) FUZZ_CHECK(line.EscapeStage == 1 && line.EventMark == "none");
  return 0;
}
