// "LineSet.ini" and "ModemType.ini" content: the sections of every type
// named in the file are applied; a value comes from a line of the file and
// never holds a line break (it goes to the modem as a command).
#include "core/config/sections.h"
#include "core/config/text_file.h"
#include "lines/line.h"
#include "lines/line_loader.h"
#include "tests/fuzz/fuzz_support.h"

using namespace quell;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view content = fuzz::Input(data, size);
  const std::vector<std::string> lines = SplitTextLines(content);
  std::vector<std::string> names = CollectModemTypeNames(lines);
  FUZZ_CHECK(names.size() <= lines.size());
  names.push_back("GSM XCALL");
  TraceView trace;
  for (const std::string& name : names) {
    TLineGSM line;
    line.LineType = line.ModemType = name;
    ApplyModemCommands(line, lines);
    const TATCMD& c = line.Commands;
    for (const std::string* v :
         {&c.Answer, &c.Hangup, &c.Dial, &c.OnBusy, &c.InitStr, &c.InitStr1, &c.InitStr2}) {
      FUZZ_CHECK(v->find_first_of("\r\n") == std::string::npos);
      FUZZ_CHECK(v->empty() || *v == "FALSE" || content.find(*v) != std::string_view::npos ||
                 *v == TATCMD().ClipOn || *v == "ATV1Q0E1" || *v == "ATA" || *v == "ATH" ||
                 *v == "ATD");
    }
    ApplyLineSettings(line, lines, trace);
  }
  return 0;
}
