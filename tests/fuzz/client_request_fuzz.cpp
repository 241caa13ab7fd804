// Requests of the Wardex client on 8040 (one per 0xFF-separated piece) to a
// set of lines: every reply echoes the request and ends its status with "|";
// nothing but the line's own commands and dialable numbers reaches a modem.
#include "core/text.h"
#include "ip/client_requests.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fake_clock.h"

using namespace quell;

namespace {

bool Dialable(std::string_view target) {
  return ClientRequests::DialableTarget(std::string(target));
}

// A command as the modem receives it: text + CR LF, the text one of the
// line's commands or a dial of a dialable number.
void CheckCommand(const TLineGSM& line, const std::string& w) {
  FUZZ_CHECK(w.ends_with("\r\n") && w.find_first_of("\r\n") == w.size() - 2);
  std::string_view text(w.data(), w.size() - 2);
  if (text == line.Commands.Answer || text == line.Commands.Hangup) return;
  FUZZ_CHECK(text.starts_with(line.Commands.Dial));
  text.remove_prefix(line.Commands.Dial.size());
  if (text.ends_with(';')) text.remove_suffix(1);
  FUZZ_CHECK(Dialable(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  test::FakeClock clock;
  TraceView trace;
  LineList lines;
  std::vector<std::shared_ptr<fuzz::ScriptedPort>> ports;
  const struct {
    const char* name;
    const char* type;
    int mode;
  } kLines[] = {{"X1", "GSM XCALL", 1},
                {"X2", "GSM XCALL", 2},
                {"X3", "GSM XCALL", 3},
                {"S1", "GSM Selva", 0},
                {"S2", "GSM Selva", 0}};
  for (const auto& l : kLines) {
    auto line = std::make_unique<TLineGSM>();
    line->LineName = l.name;
    line->LineType = l.type;
    line->Mode = l.mode;
    line->Started = line->PortOpen = line->Alive = true;
    ports.push_back(std::make_shared<fuzz::ScriptedPort>());
    line->PortHandle = ports.back();
    lines.Add(l.name, std::move(line));
  }
  ClientRequests requests(lines, trace, clock);

  const std::string_view input = fuzz::Input(data, size);
  size_t start = 0;
  while (start <= input.size()) {
    size_t end = input.find('\xFF', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string r(input.substr(start, end - start));
    start = end + 1;
    requests.Handle(r, [&](const std::string& reply) {
      FUZZ_CHECK(reply.starts_with(r + ";") && reply.find('|', r.size()) != std::string::npos);
    });
  }
  for (size_t i = 0; i < lines.Size(); ++i)
    for (const std::string& w : ports[i]->writes) CheckCommand(*lines.At(i).Line, w);
  return 0;
}
