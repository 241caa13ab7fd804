// "param0", "paramv" and "quellport" content, each read from the same
// bytes: values stay in range and the console port's serial settings read
// back from their own written form.
#include "core/config/client_port_file.h"
#include "core/config/console_port_file.h"
#include "core/config/ip_module_file.h"
#include "core/config/text_file.h"
#include "core/text.h"
#include "lines/line_loader.h"
#include "lines/serial_settings.h"
#include "tests/fuzz/fuzz_support.h"

using namespace quell;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> lines = SplitTextLines(fuzz::Input(data, size));
  const std::string first = lines.empty() ? std::string() : lines.front();

  // param0: a time of day as the silence limit, written back as hh:nn:ss.
  const IpModuleSettings ip = ParseIpModuleSettings(lines);
  FUZZ_CHECK(ip.silenceLimitSeconds >= 0 && ip.silenceLimitSeconds < 24 * 3600);
  if (const auto limit = ParseSilenceLimit(first)) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", *limit / 3600, *limit / 60 % 60,
                  *limit % 60);
    FUZZ_CHECK(ParseSilenceLimit(text) == limit);
  }

  // paramv: applied to the console line; its settings text round-trips.
  const ConsolePortFile paramv = ParseConsolePortFile(first);
  FUZZ_CHECK(paramv.portKind == "VP" || paramv.portKind == "RP");
  TLineGSM console;
  ApplyConsolePortFile(console, paramv);
  TLineGSM line;
  if (ParseSerialSettings(line, paramv.serialText)) {
    const std::string written = FormatSerialSettings(line);
    TLineGSM again;
    FUZZ_CHECK(ParseSerialSettings(again, written) && FormatSerialSettings(again) == written);
  }

  // quellport: a port that can be listened on, from the first four characters.
  if (const auto port = ParseClientPort(first))
    FUZZ_CHECK(*port >= 1 && *port <= 65535 && ToInt(first.substr(0, 4)) == port);
  return 0;
}
