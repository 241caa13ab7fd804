// "ConnectionType.ini" content, record by record: a record that reads is
// written back by the line list's own format, and that text reads back to
// the same record.
#include "core/config/text_file.h"
#include "core/text.h"
#include "lines/line_loader.h"
#include "tests/fuzz/fuzz_support.h"

using namespace quell;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> lineSet = {"[GSM XCALL_0]", "evCHAR=13", "TIMER=500", "[MLR]",
                                            "evCHAR=20"};
  const std::vector<std::string> modemTypes = {"[M1]", "ATA:ATA", "INISTR2:AT+CNMI=2,1"};
  LineLoadContext context;
  context.lineSet = &lineSet;
  context.modemTypes = &modemTypes;
  for (const std::string& record : SplitTextLines(fuzz::Input(data, size))) {
    FUZZ_CHECK(record.find_first_of("\r\n") == std::string::npos);
    if (Trim(record).size() <= 2) continue;
    TLineGSM line;
    if (ParseLineRecord(record, line, context)) continue;
    const std::string written = FormatLineRecord(line.LineName, line);
    FUZZ_CHECK(written.find_first_of("\r\n") == std::string::npos);
    TLineGSM again;
    FUZZ_CHECK(!ParseLineRecord(written, again, context));
    FUZZ_CHECK(FormatLineRecord(again.LineName, again) == written);
  }
  return 0;
}
