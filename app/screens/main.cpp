// quell-screens OUTDIR: the window and its dialogs over the working directory
// it is started in, each rendered to a PNG file for the documentation. A few
// IP modules report events first (the simulator's fleet, on the engine's own
// port) so that the journal and the active objects are not empty.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/tform1.h"
#include "core/clock.h"
#include "core/config/text_file.h"
#include "core/cp1251.h"
#include "core/operator_prompt.h"
#include "engine/engine.h"
#include "engine/ip_module_dialog.h"
#include "engine/line_commands.h"
#include "ip/ip_receivers.h"
#include "sim/ip/ip_fleet.h"
#include "sim/ip/ip_stats.h"
#include "sim/modem/modem_link.h"
#include "ui/choice_dialog.h"
#include "ui/ip_module_dialog.h"
#include "ui/line_list_view.h"
#include "ui/modem_rows.h"
#include "ui/modem_state_view.h"
#include "ui/serial_port_dialog.h"

namespace quell {
namespace {

class Silent final : public AlarmSound {
 public:
  void Play() override {}
};

void Save(QWidget& widget, const QString& dir, const char* name) {
  widget.show();
  widget.raise();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  const QString path = dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
  if (!widget.grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  std::printf("%s\n", qPrintable(path));
}

// Runs the event loop for a while: events arrive, ticks pass.
void Pause(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

void SendEvents(Engine& engine) {
  sim::IpStats stats;
  sim::IpFleet fleet(QHostAddress::LocalHost, engine.ipReceivers().Port(IpListener::P8098), stats);
  const struct {
    uint32_t account;
    const char* event;
    uint32_t zone;
  } events[] = {{1201, "1130", 3}, {1202, "3401", 1}, {1305, "1602", 0}, {2417, "1110", 7}};
  for (const auto& e : events) {
    sim::IpModuleConfig config;
    config.fields.account = e.account;
    config.fields.event = e.event;
    config.fields.zone = e.zone;
    fleet.Add(config);
  }
  fleet.Start();
  for (int i = 0; i < 100 && !fleet.Done(); ++i) Pause(50);
}

int Render(Engine& engine, const QString& out, sim::ModemLink* modem);

// A simulated modem on a pseudo-terminal stands in for the port of line
// COM<port>: the mapping in ComPorts.ini of this (scratch) directory is
// replaced, so that the modem page has a signal to show.
std::unique_ptr<sim::ModemLink> SimulatedModem(int port) {
  auto link = std::make_unique<sim::ModemLink>(sim::ModemOptions{});
  std::string error;
  if (!link->OpenPty(&error)) {
    std::fprintf(stderr, "simulated modem: %s\n", error.c_str());
    return nullptr;
  }
  const std::string key = "COM" + std::to_string(port) + "=";
  std::vector<std::string> lines =
      ReadTextLines("ComPorts.ini").value_or(std::vector<std::string>{});
  std::erase_if(lines, [&](const std::string& l) { return l.rfind(key, 0) == 0; });
  lines.push_back(key + link->DevicePath());
  WriteTextLines("ComPorts.ini", lines);
  return link;
}

int Run(const QString& out, int modemPort) {
  auto modem = modemPort > 0 ? SimulatedModem(modemPort) : nullptr;
  const std::string workDir = QFile::encodeName(QDir::currentPath()).toStdString();
  SystemClock clock;
  HeadlessPrompt prompt;
  Silent sound;
  // The usual ports when they are free (the script runs in a network of its
  // own), any free ports otherwise.
  auto engine = std::make_unique<Engine>(clock, prompt, sound, EngineOptions{workDir, {}});
  std::string error;
  if (!engine->Start(&error)) {
    engine.reset();
    engine = std::make_unique<Engine>(clock, prompt, sound,
                                      EngineOptions{workDir, PortSettings::AnyFree()});
    if (!engine->Start(&error)) {
      std::fprintf(stderr, "%s\n", FromCp1251(error).toUtf8().constData());
      return 1;
    }
  }
  return Render(*engine, out, modem.get());
}

int Render(Engine& engine, const QString& out, sim::ModemLink* modem) {
  TForm1 form(engine);
  form.resize(1000, 620);
  engine.StartTimers();
  Pause(2500);  // the first supervision tick opens the lines
  SendEvents(engine);
  // The modem reports its signal once the line has initialised it.
  auto signalKnown = [&engine] {
    for (size_t i = 0; i < engine.lines().Size(); ++i)
      if (engine.lines().At(i).Line->SignalLevel.load() != kUnknownSignal) return true;
    return false;
  };
  for (int i = 0; modem && i < 20 && !signalKnown(); ++i) {
    modem->With([](sim::SimModem& m) { m.ReportSignal(18); });
    Pause(500);
  }
  form.findChild<ModemStateView*>()->Refresh();
  Pause(1500);

  auto* pages = form.findChild<QTabWidget*>();
  pages->setCurrentIndex(0);
  // The modem line shows the most: its signal bar and its exchange.
  for (size_t i = 0; i < engine.lines().Size(); ++i)
    if (engine.lines().At(i).Line->SignalLevel.load() != kUnknownSignal)
      form.findChild<LineListView*>()->setCurrentRow(int(i));
  Save(form, out, "lines");
  pages->setCurrentIndex(1);
  auto* ipPages = pages->currentWidget()->findChild<QTabWidget*>();
  if (!ipPages) ipPages = qobject_cast<QTabWidget*>(pages->currentWidget());
  ipPages->setCurrentIndex(0);
  Save(form, out, "journal");
  ipPages->setCurrentIndex(1);
  Save(form, out, "active");
  pages->setCurrentIndex(2);
  Save(form, out, "modems");

  IpModuleDialog ipDialog(&form);
  ipDialog.SetState(OpenIpModuleDialog(engine.ipSettings()));
  Save(ipDialog, out, "ip-modules");

  if (engine.lines().Size() > 0) {
    const TLineGSM& line = *engine.lines().At(0).Line;
    SerialPortDialog serial(SerialPortDialog::Mode::Line, engine.portChoices(), &form);
    serial.SetValues(LineDialogPreset(line));
    Save(serial, out, "line-serial");
    QStringList types;
    for (const LineTypeChoice& c : LineTypeChoices()) types << FromCp1251(c.displayName);
    ChoiceDialog type(QStringLiteral("Тип оборудования"), types,
                      FromCp1251(LineTypeDisplayName(line.LineType)), &form);
    Save(type, out, "line-type");
    QStringList modes;
    for (int m = 0; !LineModeName(m).empty(); ++m) modes << FromCp1251(LineModeName(m));
    ChoiceDialog mode(QStringLiteral("Тип линии "), modes, FromCp1251(LineModeName(line.Mode)),
                      &form);
    Save(mode, out, "line-mode");
  }
  SerialPortDialog console(SerialPortDialog::Mode::Console, engine.portChoices(), &form);
  console.SetValues(ConsoleDialogPreset(engine.consoleLine(), engine.consoleSettings(),
                                        engine.consolePort().VirtualPortExists()));
  Save(console, out, "console-port");
  engine.Close();
  return 0;
}

}  // namespace
}  // namespace quell

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() != 2 && !(args.size() == 4 && args[2] == QStringLiteral("--modem"))) {
    std::fprintf(stderr,
                 "usage: quell-screens OUTDIR [--modem N]  (run in a scratch working directory;\n"
                 "       --modem N puts a simulated modem on COM<N> through ComPorts.ini)\n");
    return 2;
  }
  QDir().mkpath(QString::fromLocal8Bit(argv[1]));
  return quell::Run(QDir(args[1]).absolutePath(), args.size() == 4 ? args[3].toInt() : 0);
}
