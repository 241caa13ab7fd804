#include "sim/ip/ip_role.h"

#include <QCoreApplication>
#include <cstdio>

#include "sim/ip/file_limit.h"
#include "sim/ip/ip_args.h"
#include "sim/ip/ip_fleet.h"
#include "sim/quit_on_signal.h"
#include "sim/steady_clock.h"
#include "sim/throughput.h"

namespace quell::sim {
namespace {

constexpr uint64_t kSpareFiles = 64;  // what the program needs besides the sockets

int Fail(const std::string& reason, int status) {
  std::fprintf(stderr, "quell-sim ip: %s\n", reason.c_str());
  if (status == 2) std::fputs("(quell-sim ip --help lists the options)\n", stderr);
  return status;
}

}  // namespace

int RunIpRole(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList words = QCoreApplication::arguments();
  words.removeFirst();  // the role word

  std::string error;
  std::optional<IpArgs> args = ParseIpArgs(words, &error);
  if (!args) return Fail(error, 2);
  if (args->help) {
    std::fputs(IpHelp(), stdout);
    return 0;
  }
  const uint64_t files = RaiseOpenFileLimit();
  if (args->modules + kSpareFiles > files)
    return Fail("--modules " + std::to_string(args->modules) + " needs more open files than the " +
                    "limit of " + std::to_string(files) + " allows",
                2);
  std::optional<QHostAddress> address = ResolveHost(args->target.host, &error);
  if (!address) return Fail(error, 2);

  IpStats stats;
  if (!args->quiet) {
    stats.SetResultHandler([](const IpResult& result) {
      std::printf("%s\n", IpResultLine(result).c_str());
      std::fflush(stdout);
    });
  }
  IpFleet fleet(*address, args->target.port, stats);
  for (uint32_t i = 0; i < args->modules; ++i) {
    IpModuleConfig config;
    config.fields.account = args->accountBase + i;
    config.keepAlive = args->keepAlive;
    config.messages = args->messages;
    config.timeoutMs = args->timeoutMs;
    if (args->rate > 0) {
      // Module i's messages are due every modules/rate seconds, the modules
      // a 1/rate apart.
      config.periodUs = int64_t(1e6 * args->modules / args->rate);
      config.offsetUs = int64_t(1e6 * i / args->rate);
    }
    fleet.Add(config);
  }
  fleet.SetDoneHandler([] { QCoreApplication::quit(); });
  if (!QuitOnSignals(&error)) return Fail(error, 1);
  const int64_t startUs = SteadyMicros();
  fleet.Start();
  if (!fleet.Done()) app.exec();
  std::printf("%s\n%s\n", stats.Summary().c_str(),
              ThroughputLine(stats.Messages(), SteadyMicros() - startUs).c_str());
  const uint64_t wanted = uint64_t(args->modules) * args->messages;
  return stats.Counts().ack == wanted ? 0 : 1;
}

}  // namespace quell::sim
