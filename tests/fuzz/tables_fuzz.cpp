// "objects.txt", "codes.txt" and "info.slv" content, each table made of the
// same lines and asked as the gateway asks it.
#include <cstdio>

#include "console/ademco685.h"
#include "core/config/text_file.h"
#include "core/text.h"
#include "ip/loopback_client.h"
#include "lines/data_call.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fake_clock.h"

using namespace quell;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> table = SplitTextLines(fuzz::Input(data, size));

  // objects.txt: an incoming call is answered or rejected, never both.
  const std::string a =
      LoopbackClient::AnswerFor("GSM line 1;+79001112233;GSM XCALL;0;CRING;", table);
  FUZZ_CHECK(a == "GSM line 1;ATH;" || a.starts_with("GSM line 1;ATA;"));

  // codes.txt: an Ademco685 line of receiver, account and a code of at most
  // two characters, or nothing.
  for (const char* e : {"5011 181234E13001015", "5011 181234R13001015", "1011      1234 @"}) {
    const std::string line = Ademco685Line(e, "7", table);
    FUZZ_CHECK(line.empty() ||
               (line.starts_with("07 ") && line.back() == '\r' && line.size() <= 12));
  }

  // info.slv: the replies to a panel's frames carry their CRC-8.
  test::FakeClock clock;
  TraceView trace;
  LineContext ctx;
  ctx.clock = &clock;
  ctx.trace = &trace;
  ctx.panels = &table;
  TLineGSM line;
  line.LineType = "GSM Selva";
  line.EventMark = "refresh";
  auto port = std::make_shared<fuzz::ScriptedPort>();
  line.PortHandle = port;
  for (const char* f : {"~123410", "~H123420", "~123402"}) DataCallFrame(line, f, ctx);
  for (const std::string& w : port->writes) {
    FUZZ_CHECK(w.size() >= 5 && w.front() == '~' && w.ends_with("\r\n"));
    char crc[3];
    std::snprintf(crc, sizeof crc, "%02X", unsigned(Crc8Maxim(w.substr(1, w.size() - 5))));
    FUZZ_CHECK(w.compare(w.size() - 4, 2, crc) == 0);
  }
  return 0;
}
