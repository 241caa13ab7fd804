#include "sim/console/console_role.h"

#include <QCoreApplication>
#include <QTime>
#include <QTimer>
#include <cstdio>

#include "sim/console/console_args.h"
#include "sim/exchange_log.h"
#include "sim/link_file.h"
#include "sim/quit_on_signal.h"
#include "sim/serial_endpoint.h"
#include "sim/steady_clock.h"

namespace quell::sim {
namespace {

constexpr int kServiceMs = 20;  // noticing a peer that opened the pty

int Fail(const std::string& reason, int status) {
  std::fprintf(stderr, "quell-sim console: %s\n", reason.c_str());
  if (status == 2) std::fputs("(quell-sim console --help lists the options)\n", stderr);
  return status;
}

void PrintLine(const ConsoleLine& line) {
  const std::string stamp =
      QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")).toStdString();
  const std::string what = line.linkTest ? "link test" : "event " + EscapeBytes(line.text);
  std::printf("%s %s%s\n", stamp.c_str(), what.c_str(), line.answered ? "" : " (not answered)");
  std::fflush(stdout);
}

}  // namespace

int RunConsoleRole(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList words = QCoreApplication::arguments();
  words.removeFirst();  // the role word

  std::string error;
  std::optional<ConsoleArgs> args = ParseConsoleArgs(words, &error);
  if (!args) return Fail(error, 2);
  if (args->help) {
    std::fputs(ConsoleHelp(), stdout);
    return 0;
  }

  SimConsole console(args->options, [] { return SteadyMicros() / 1000; });
  for (const std::string& text : args->expect) console.Expect(text);
  console.SetLineHandler(PrintLine);

  SerialEndpoint endpoint;
  const bool opened =
      args->port == "pty" ? endpoint.OpenPty(&error) : endpoint.OpenDevice(args->port, &error);
  if (!opened) return Fail(error, 1);
  LinkFile link;
  if (!args->link.empty() && !link.Create(args->link, endpoint.DevicePath(), &error))
    return Fail(error, 1);
  if (!QuitOnSignals(&error)) return Fail(error, 1);

  std::printf("COM port device: %s\n", endpoint.DevicePath().c_str());
  if (args->com > 0) std::printf("COM%d=%s\n", args->com, endpoint.DevicePath().c_str());
  std::fflush(stdout);

  const bool expecting = !args->expect.empty();
  endpoint.SetReceiver([&](std::string_view bytes) {
    const std::string reply = console.Feed(bytes);
    if (!reply.empty()) endpoint.Send(reply);
    if (expecting && console.AllExpectedArrived()) QCoreApplication::quit();
  });
  int status = 0;
  endpoint.SetFailureHandler([&status](const std::string& reason) {
    std::fprintf(stderr, "quell-sim console: %s\n", reason.c_str());
    status = 1;
    QCoreApplication::quit();
  });
  QTimer service;
  QObject::connect(&service, &QTimer::timeout, [&endpoint] { endpoint.Service(); });
  service.start(kServiceMs);
  if (args->durationMs > 0)
    QTimer::singleShot(int(args->durationMs), [] { QCoreApplication::quit(); });

  app.exec();
  std::printf("%s\n", console.Summary().c_str());
  if (status != 0) return status;
  return console.AllExpectedArrived() ? 0 : 1;
}

}  // namespace quell::sim
