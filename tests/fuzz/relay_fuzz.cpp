// A text received on the relay port 8042: it reaches the Wardex client
// unchanged when it names "VORTI" and never the key translation nor the
// loopback client.
#include "core/text.h"
#include "ip/notice_drain.h"
#include "ip/relay_listener.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"

using namespace quell;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::EnsureApplication();
  const std::string text(fuzz::Input(data, size));
  test::FakeClock clock;
  TraceView trace;
  NoticeList notices;
  Journal journal;
  test::FakeClientFeed clients;
  clients.wardexClients = 1;
  PortSettings ports;
  RelayListener relay(trace, notices, clients, ports);
  NoticeDrain drain(clock, trace, journal, notices, clients);
  int translated = 0;
  drain.SetResultHook([&](const std::string&) { ++translated; });
  drain.SetRingHook([&](const std::string&) { ++translated; });

  relay.Relay(text);
  for (int i = 0; i < 3; ++i) drain.Tick();
  FUZZ_CHECK(translated == 0 && notices.Empty());
  if (Contains(text, "VORTI"))
    FUZZ_CHECK(clients.wardex == std::vector<std::string>{text});
  else
    FUZZ_CHECK(clients.wardex.empty());
  return 0;
}
