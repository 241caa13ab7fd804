// Process entry: one copy per session, the engine in the current
// directory, the main window, and the message loop until the window closes.
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <cstdio>
#include <exception>
#include <memory>

#include "app/guarded_application.h"
#include "app/quiet_start.h"
#include "app/service_notify.h"
#include "app/signals.h"
#include "app/single_instance.h"
#include "app/stdout_journal.h"
#include "app/tform1.h"
#include "core/clock.h"
#include "core/cp1251.h"
#include "core/operator_prompt.h"
#include "engine/engine.h"
#include "engine/startup_summary.h"
#include "ip/listen_backlog.h"
#include "ui/alarm_player.h"
#include "ui/qt_prompt.h"

namespace {

// Without a display the offscreen platform lets the gateway run headless;
// a platform chosen explicitly wins.
void ChoosePlatform() {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

bool Headless() {
  return QGuiApplication::platformName() == QStringLiteral("offscreen");
}

// Start-up failures: to standard error always, and in a box when someone
// can see it (a box nobody can answer would hold a headless run forever).
int StartupFailed(const QString& text) {
  std::fprintf(stderr, "%s\n", text.toUtf8().constData());
  std::fflush(stderr);
  if (!Headless()) QMessageBox::critical(nullptr, QStringLiteral(" Quell Server "), text);
  return 1;
}

int Run(quell::GuardedApplication& app) {
  using namespace quell;
  const std::string workDir = QFile::encodeName(QDir::currentPath()).toStdString();

  SystemClock clock;
  QtPrompt windowPrompt;
  HeadlessPrompt headlessPrompt;
  OperatorPrompt& prompt = Headless() ? static_cast<OperatorPrompt&>(headlessPrompt)
                                      : static_cast<OperatorPrompt&>(windowPrompt);
  AlarmPlayer sound(workDir);
  Engine engine(clock, prompt, sound, EngineOptions{workDir, PortSettings{}});
  app.SetTrace(&engine.trace());

  StdoutJournal out(clock);
  engine.journal().onInsert = [&out](size_t, const std::string& text) { out.Print(text); };

  auto form = std::make_unique<TForm1>(engine);
  windowPrompt.SetParent(form.get());

  const auto service = ServiceNotify::FromEnvironment();
  std::string error;
  if (!engine.Start(&error)) {
    app.SetTrace(nullptr);
    return StartupFailed(FromCp1251(error));
  }
  form->RefreshAll();
  // The summary waits for the first supervision tick, which opens the lines.
  const auto printSummary = [&engine] {
    std::fputs(StartupSummary(engine).c_str(), stderr);
    // Whoever started it at a terminal learns how it ends.
    if (::isatty(STDERR_FILENO)) std::fputs("Ctrl-C stops the gateway\n", stderr);
    std::fflush(stderr);
  };
  if (engine.supervisionEnabled())
    QObject::connect(&engine, &Engine::startupCompleted, &engine, printSummary);
  else
    printSummary();
  engine.StartTimers();
  form->show();
  service->Ready();

  SingleInstance* instance = app.findChild<SingleInstance*>();
  if (instance)
    QObject::connect(instance, &SingleInstance::showRequested, form.get(), &TForm1::ShowServer);
  TerminationSignals signals;
  // systemd hears of the stop before the engine closes its lines.
  QObject::connect(&signals, &TerminationSignals::terminateRequested, service.get(),
                   &ServiceNotify::Stopping);
  QObject::connect(&app, &QCoreApplication::aboutToQuit, service.get(), &ServiceNotify::Stopping);
  QObject::connect(&signals, &TerminationSignals::terminateRequested, form.get(),
                   &TForm1::ShutDown);

  const int status = app.exec();
  form.reset();
  // Nothing may print through objects about to go.
  engine.journal().onInsert = nullptr;
  engine.journal().onClear = nullptr;
  app.SetTrace(nullptr);
  // Whoever started it by hand sees that it ended (the trace is written as
  // the engine goes, right after this).
  std::fputs("Quell Server stopped\n", stderr);
  std::fflush(stderr);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  ChoosePlatform();
  quell::UsePrivateRuntimeDir();
  quell::DropOffscreenSizeHintWarning();
  quell::IgnoreBrokenPipe();
  // A descriptor per connected IP module; without it the process keeps
  // the limit it was given.
  quell::RaiseOpenFileLimit();
  quell::GuardedApplication app(argc, argv);
  // Only the close (or a termination signal) ends the program, not the
  // last visible box closing while the window sits in the tray.
  QApplication::setQuitOnLastWindowClosed(false);

  auto* instance = new quell::SingleInstance(&app);
  if (!instance->Acquire()) {
    const bool asked = instance->AskRunningToShow();
    std::fprintf(stderr, "Quell Server is already running%s\n",
                 asked ? "; its window was asked to show" : " but did not answer");
    return 0;
  }
  try {
    return Run(app);
  } catch (const std::exception& e) {
    return StartupFailed(quell::FromCp1251(e.what()));
  } catch (...) {
    return StartupFailed(QStringLiteral("Unknown error"));
  }
}
