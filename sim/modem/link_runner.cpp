#include "sim/modem/link_runner.h"

#include <QCoreApplication>
#include <QTime>
#include <cstdio>

#include "sim/exchange_log.h"
#include "sim/quit_on_signal.h"

namespace quell::sim {

std::string TimeStamp() {
  return QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")).toStdString();
}

void LogLine(const std::string& line) {
  std::fprintf(stderr, "%s %s\n", TimeStamp().c_str(), line.c_str());
}

int RunModemLink(ModemLink& link, const LinkSetup& setup, std::function<void()> lineUp) {
  std::string error;
  auto fail = [&](const std::string& reason) {
    std::fprintf(stderr, "quell-sim %s: %s\n", setup.role.c_str(), reason.c_str());
    return 1;
  };
  const bool opened =
      setup.port == "pty" ? link.OpenPty(&error) : link.OpenDevice(setup.port, &error);
  if (!opened) return fail(error);
  if (!setup.link.empty() && !link.CreateLink(setup.link, &error)) return fail(error);
  if (!QuitOnSignals(&error)) return fail(error);

  std::printf("COM port device: %s\n", link.DevicePath().c_str());
  if (setup.com > 0) std::printf("COM%d=%s\n", setup.com, link.DevicePath().c_str());
  std::fflush(stdout);

  ExchangeLog log(LogLine);
  if (!setup.quiet) {
    link.SetTrafficObserver([&log](bool fromGateway, std::string_view bytes) {
      fromGateway ? log.FromGateway(bytes) : log.ToGateway(bytes);
    });
  }
  link.SetLineUpHandler([&] {
    if (!setup.quiet) LogLine("-- the gateway's line is up");
    if (lineUp) lineUp();
  });
  int status = 0;
  link.SetFailureHandler([&](const std::string& reason) {
    status = fail(reason);
    QCoreApplication::quit();
  });
  const int loop = QCoreApplication::exec();
  link.SetTrafficObserver({});
  return status != 0 ? status : loop;
}

}  // namespace quell::sim
