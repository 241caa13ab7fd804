#include "sim/modem/modem_role.h"

#include <QCoreApplication>
#include <QDateTime>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "sim/modem/link_runner.h"
#include "sim/modem/modem_args.h"

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
  const LinkSetup setup{"modem", args->port, args->link, args->com, args->quiet};
  return RunModemLink(link, setup, [&] {
    link.With([&](SimModem& modem) { ScheduleModemSteps(modem, args->steps); });
  });
}

}  // namespace quell::sim
