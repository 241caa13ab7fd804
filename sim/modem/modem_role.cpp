#include "sim/modem/modem_role.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTime>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "sim/exchange_log.h"
#include "sim/modem/modem_args.h"
#include "sim/modem/modem_link.h"
#include "sim/quit_on_signal.h"

namespace quell::sim {
namespace {

int Usage(const std::string& reason) {
  std::fprintf(stderr, "quell-sim modem: %s\n(quell-sim modem --help lists the options)\n",
               reason.c_str());
  return 2;
}

bool ReadFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  *text = all.str();
  return true;
}

// A received message's time stamp: local time, zone in quarter hours.
std::string StampNow() {
  const QDateTime now = QDateTime::currentDateTime();
  const int quarters = now.offsetFromUtc() / 900;
  const QString zone = QStringLiteral("%1%2")
                           .arg(quarters < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                           .arg(std::abs(quarters), 2, 10, QLatin1Char('0'));
  return (now.toString(QStringLiteral("yy/MM/dd,hh:mm:ss")) + zone).toStdString();
}

void LogLine(const std::string& line) {
  const std::string stamp =
      QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")).toStdString();
  std::fprintf(stderr, "%s %s\n", stamp.c_str(), line.c_str());
}

}  // namespace

int RunModemRole(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList words = QCoreApplication::arguments();
  words.removeFirst();  // the role word

  std::string error;
  std::optional<ModemArgs> args = ParseModemArgs(words, &error);
  if (!args) return Usage(error);
  if (args->help) {
    std::fputs(ModemHelp(), stdout);
    return 0;
  }
  if (!args->script.empty()) {
    std::string text;
    if (!ReadFile(args->script, &text)) return Usage("cannot read the script " + args->script);
    auto steps = ParseModemScript(text, &error);
    if (!steps) return Usage(args->script + ": " + error);
    args->steps.insert(args->steps.end(), steps->begin(), steps->end());
  }
  args->options.smsStamp = StampNow;

  ModemLink link(args->options);
  const bool opened =
      args->port == "pty" ? link.OpenPty(&error) : link.OpenDevice(args->port, &error);
  if (!opened) {
    std::fprintf(stderr, "quell-sim modem: %s\n", error.c_str());
    return 1;
  }
  if (!args->link.empty() && !link.CreateLink(args->link, &error)) {
    std::fprintf(stderr, "quell-sim modem: %s\n", error.c_str());
    return 1;
  }
  if (!QuitOnSignals(&error)) {
    std::fprintf(stderr, "quell-sim modem: %s\n", error.c_str());
    return 1;
  }

  std::printf("COM port device: %s\n", link.DevicePath().c_str());
  if (args->com > 0) std::printf("COM%d=%s\n", args->com, link.DevicePath().c_str());
  std::fflush(stdout);

  ExchangeLog log(LogLine);
  if (!args->quiet) {
    link.SetTrafficObserver([&log](bool fromGateway, std::string_view bytes) {
      fromGateway ? log.FromGateway(bytes) : log.ToGateway(bytes);
    });
  }
  link.SetLineUpHandler([&] {
    if (!args->quiet) LogLine("-- the gateway's line is up");
    link.With([&](SimModem& modem) { ScheduleModemSteps(modem, args->steps); });
  });
  int status = 0;
  link.SetFailureHandler([&status](const std::string& reason) {
    std::fprintf(stderr, "quell-sim modem: %s\n", reason.c_str());
    status = 1;
    QCoreApplication::quit();
  });
  const int loop = app.exec();
  return status != 0 ? status : loop;
}

}  // namespace quell::sim
