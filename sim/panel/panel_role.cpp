#include "sim/panel/panel_role.h"

#include <QCoreApplication>
#include <cstdio>

#include "sim/modem/link_runner.h"
#include "sim/panel/panel_args.h"
#include "sim/panel/sim_panel.h"

namespace quell::sim {

int RunPanelRole(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList words = QCoreApplication::arguments();
  words.removeFirst();  // the role word

  std::string error;
  std::optional<PanelArgs> args = ParsePanelArgs(words, &error);
  if (!args) {
    std::fprintf(stderr, "quell-sim panel: %s\n(quell-sim panel --help lists the options)\n",
                 error.c_str());
    return 2;
  }
  if (args->help) {
    std::fputs(PanelHelp(), stdout);
    return 0;
  }

  ModemLink link(args->modem);
  SimPanel* panel = nullptr;
  link.With([&](SimModem& modem) { panel = &AttachPanel(modem, args->panel); });
  panel->SetReporter([](const std::string& line) {
    std::printf("%s panel: %s\n", TimeStamp().c_str(), line.c_str());
    std::fflush(stdout);
  });
  const LinkSetup setup{"panel", args->port, args->link, args->com, args->quiet};
  return RunModemLink(link, setup, [&] {
    if (!args->callIn) return;
    link.With([&](SimModem& modem) {
      modem.Schedule(args->callInDelayMs,
                     [panel, number = *args->callIn] { panel->CallIn(number); });
    });
  });
}

}  // namespace quell::sim
