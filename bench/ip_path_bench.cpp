// Cost of the IP event path on the main thread: parsing one message with
// the module list update, and the once-a-second loss check, as the number
// of IP objects grows.
#include <benchmark/benchmark.h>

#include <string>

#include "console/console_output.h"
#include "core/text.h"
#include "ip/adm_cid_parser.h"
#include "ip/ip_module_supervision.h"

namespace quell {
namespace {

class BenchClock final : public Clock {
 public:
  uint32_t TickCount() const override { return 0; }
  QDateTime Now() const override { return now; }
  int StandardOffsetSeconds() const override { return 0; }
  QDateTime now = QDateTime(QDate(2026, 12, 8), QTime(12, 0));
};

class NoDevice final : public ConsoleDevice {
 public:
  bool PortOpen() const override { return false; }
  bool Alive() const override { return false; }
  bool Write(std::string_view) override { return true; }
};

class NoClients final : public ClientFeed {
 public:
  int WardexClientCount() const override { return 0; }
  bool SendToFirstWardex(NoticeOrigin, const std::string&) override { return true; }
  int Console2ClientCount() const override { return 0; }
  void SendToFirstConsole2(const std::string&) override {}
};

struct World {
  explicit World(int modules) {
    for (int i = 0; i < modules; ++i)
      supervision.Update(PadLeft(std::to_string(i), 4, '0'), ModuleMessageKind::KeepAlive, true,
                         "1", "01");
  }
  BenchClock clock;
  SharedTextList queue;
  NoticeList notices;
  NoDevice device;
  NoClients clients;
  TraceView trace;
  ConsoleSettings console;
  IpModuleSettings settings;
  CodeTable codes;
  IpModuleList list;
  ConsoleOutput output{queue, device, clients, trace, console, settings, codes};
  IpModuleSupervision supervision{clock, list, settings, notices, output};
  AdmCidParser parser{supervision, output, settings};
};

// A keep-alive from the last module of the list: the worst-case lookup.
void BM_KeepAliveParse(benchmark::State& state) {
  World world(int(state.range(0)));
  const std::string last = PadLeft(std::to_string(state.range(0) - 1), 4, '0');
  const std::string message = "SR0001L0001     #" + last + "[]";
  for (auto _ : state) benchmark::DoNotOptimize(world.parser.Parse(message));
}
BENCHMARK(BM_KeepAliveParse)->Arg(10)->Arg(1000)->Arg(9999);

void BM_AdmCidParse(benchmark::State& state) {
  World world(int(state.range(0)));
  const std::string message = "\"ADM-CID\"0001R0001L0001[#001234|1130 01 015]";
  for (auto _ : state) benchmark::DoNotOptimize(world.parser.Parse(message));
}
BENCHMARK(BM_AdmCidParse)->Arg(10)->Arg(9999);

// The loss check over every module when none is lost (the common tick).
void BM_LossCheck(benchmark::State& state) {
  World world(int(state.range(0)));
  for (auto _ : state) world.supervision.LossCheck();
}
BENCHMARK(BM_LossCheck)->Arg(10)->Arg(1000)->Arg(9999);

}  // namespace
}  // namespace quell

BENCHMARK_MAIN();
