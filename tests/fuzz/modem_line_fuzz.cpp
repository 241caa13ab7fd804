// What a modem (or a serial receiver) sends on a line, read by the line's
// step function. The first byte picks the line type and mode; a 0xFF byte
// ends one step's input and moves the clock on by a second.
#include "console/key_translation.h"
#include "core/text.h"
#include "core/wire.h"
#include "lines/call_state.h"
#include "lines/data_call.h"
#include "lines/modem_engine.h"
#include "lines/receiver_steps.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"

using namespace quell;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const char* const kTypes[] = {"GSM XCALL", "GSM Selva", "GSM", "MLR", "VORTI"};
  const std::string type = kTypes[data[0] % 5];
  const bool modem = type.starts_with("GSM");
  test::FakeClock clock;
  NoticeList notices;
  SharedTextList console, journal;
  TraceView trace;
  test::FakeClientFeed clients;
  clients.wardexClients = 1;
  test::CountingSound sound;
  std::atomic<bool> acknowledged{false};
  const std::vector<std::string> panels = {"event refresh reload ~921610#~0000A100#",
                                           "event refresh reload closing#~921602C300#"};
  LineContext ctx{&clock, &console, &journal, &trace, &clients, &acknowledged, &sound, &panels};
  TLineGSM line(clock.TickCount());
  line.LineName = "L1";
  line.LineType = type;
  line.Mode = data[0] / 5 % 5;
  line.NoticeQueue = &notices;
  line.Started = true;
  line.PortOpen = true;
  auto port = std::make_shared<fuzz::ScriptedPort>();
  line.PortHandle = port;
  if (modem) PrepareModemStart(line, clock.TickCount());
  // A target no caller number can equal ("+7..."), so its outcome is told apart.
  if (type == "GSM Selva") DataCallRequest(line, "+49301112233;selva_object_refresh", clock, trace);
  const size_t firstWrites = port->writes.size();

  const std::string_view input = fuzz::Input(data + 1, size - 1);
  size_t start = 0;
  while (start <= input.size()) {
    size_t end = input.find('\xFF', start);
    if (end == std::string_view::npos) end = input.size();
    port->Feed(input.substr(start, end - start));
    start = end + 1;
    if (modem)
      ModemStep(line, ctx);
    else if (type == "MLR")
      MlrStep(line, ctx);
    else
      VortiStep(line, ctx);
    FUZZ_CHECK(line.RxBuffer.size() <= kMaxModemLine + 1);
    FUZZ_CHECK(line.ProcTag.size() <= kMaxProcTag + 16);
    clock.Advance(1000);
  }

  // Nothing reacts to input that never ends a line.
  const char end = modem ? char(line.Settings.EvChar) : type == "MLR" ? kDC4 : kCR;
  if (input.find(end) == std::string_view::npos) {
    FUZZ_CHECK(line.LastLine.empty() && console.Empty());
    FUZZ_CHECK(notices.Size() <= (type == "GSM Selva" ? 1u : 0u));
    if (!modem) FUZZ_CHECK(port->writes.empty());
  }
  // Each notice in the form of its origin, whatever the line was sent.
  for (const Notice& n : notices.Entries())
    test::CheckWire(WireTarget::WardexClient, n.text, n.origin);
  int outcomes = 0;
  for (const std::string& n : notices.Snapshot()) {
    FUZZ_CHECK(n.starts_with("L1;") || n.starts_with("QUELL_LINE_STATUS&L1&"));
    if (Contains(n, ";+49301112233;"))
      outcomes += Contains(n, "SELVA_REFRESH_ERROR") + Contains(n, "SELVA_RES");
    // The caller number is one field: the client reads the notice by fields.
    if (n.ends_with(";CRING;")) FUZZ_CHECK(FieldAt(n, 5, ";") == "CRING");
    // A key notice makes one well-formed console event or none.
    SharedTextList events;
    const std::string e = KeyTranslation(n, LineList(), false, events);
    if (IsFalse(e)) continue;
    FUZZ_CHECK(e.starts_with("5011 18") && e.back() == kDC4);
    for (size_t i = 0; i + 1 < e.size(); ++i) FUZZ_CHECK(uint8_t(e[i]) >= 32 && e[i] != ';');
  }
  // A data-call request has one outcome, once it is no longer waiting.
  FUZZ_CHECK(outcomes == (line.EventMark == "refresh" ? 0 : 1) || type != "GSM Selva");
  if (!modem) return 0;
  // Events from short messages: "5099 18", account, qualifier, eight characters.
  for (const std::string& e : console.Snapshot()) {
    FUZZ_CHECK(e.size() == 20 && e.starts_with("5099 18"));
    for (char c : e) FUZZ_CHECK(uint8_t(c) >= 32 && c != ';' && c != '|');
  }
  for (size_t i = firstWrites; i < port->writes.size(); ++i) {
    const std::string& w = port->writes[i];
    FUZZ_CHECK(w == line.Commands.Escape || (w.ends_with("\r\n") && w.find('\r') == w.size() - 2));
  }
  return 0;
}
