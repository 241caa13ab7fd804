#include "sim/dc09/dc09_role.h"

#include <QCoreApplication>
#include <cstdio>

#include "sim/dc09/dc09_args.h"
#include "sim/dc09/dc09_link.h"
#include "sim/quit_on_signal.h"
#include "sim/throughput.h"

namespace quell::sim {

int RunDc09Role(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList words = QCoreApplication::arguments();
  words.removeFirst();  // the role word

  std::string error;
  std::optional<Dc09Args> args = ParseDc09Args(words, &error);
  if (!args) {
    std::fprintf(stderr, "quell-sim dc09: %s\n(quell-sim dc09 --help lists the options)\n",
                 error.c_str());
    return 2;
  }
  if (args->help) {
    std::fputs(Dc09Help(), stdout);
    return 0;
  }
  std::optional<QHostAddress> address = ResolveHost(args->target.host, &error);
  if (!address) {
    std::fprintf(stderr, "quell-sim dc09: %s\n", error.c_str());
    return 2;
  }

  Dc09Sender sender(args->message, args->probe, args->timeoutMs);
  // Each message goes out once per repeat: the link counts datagrams.
  Dc09Link link(sender, *address, args->target.port, args->count * args->message.repeats,
                args->rate, args->window, args->tcp);
  if (!args->quiet) {
    link.SetResultHandler([](const Dc09Result& result) {
      std::printf("%s\n", Dc09ResultLine(result).c_str());
      std::fflush(stdout);
    });
  }
  link.SetDoneHandler([] { QCoreApplication::quit(); });
  if (!QuitOnSignals(&error) || !link.Start(&error)) {
    std::fprintf(stderr, "quell-sim dc09: %s\n", error.c_str());
    return 1;
  }
  app.exec();
  std::printf("%s\n%s\n", sender.Summary().c_str(),
              ThroughputLine(sender.Counts().sent, link.ElapsedUs()).c_str());
  return sender.AllAcknowledged() ? 0 : 1;
}

}  // namespace quell::sim
