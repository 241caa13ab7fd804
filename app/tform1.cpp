#include "app/tform1.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>

#include "console/console_port.h"
#include "core/cp1251.h"
#include "engine/ip_module_dialog.h"
#include "store/event_store.h"
#include "store/history_source.h"
#include "ui/active_objects_view.h"
#include "ui/error_report.h"
#include "ui/history_view.h"
#include "ui/icons.h"
#include "ui/ip_module_dialog.h"
#include "ui/journal_view.h"
#include "ui/line_page.h"
#include "ui/modem_state_view.h"
#include "ui/serial_port_dialog.h"
#include "ui/trace_pane.h"

namespace quell {

TForm1::TForm1(Engine& engine, QWidget* parent) : QMainWindow(parent), engine_(engine) {
  setWindowTitle(QStringLiteral("Сервер Quell (Ternmark)"));
  setWindowIcon(ProgramIcon());
  resize(1000, 600);
  BuildMenus();
  BuildPages();
  status_ = new QLabel(this);
  statusBar()->addWidget(status_, 1);
  BuildTray();
  HookEngine();
  RefreshAll();
}

TForm1::~TForm1() {
  engine_.journal().onInsert = previousInsert_;
  engine_.journal().onClear = previousClear_;
}

void TForm1::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("Файл"));
  connect(file->addAction(QStringLiteral("Выход")), &QAction::triggered, this, &QWidget::close);

  QMenu* settings = menuBar()->addMenu(QStringLiteral("Настройки"));
  connect(settings->addAction(QStringLiteral("IP модули")), &QAction::triggered, this,
          &TForm1::OpenIpModuleDialog);
  QMenu* comPort = settings->addMenu(QStringLiteral("COM порт "));
  connect(comPort->addAction(QStringLiteral("Настройки")), &QAction::triggered, this,
          &TForm1::OpenConsoleDialog);
  // Switching the console output by hand: kept, but not shown to the operator.
  QMenu* state = comPort->addMenu(QStringLiteral("Состояние"));
  auto* group = new QActionGroup(state);
  consoleOn_ = state->addAction(QStringLiteral("Вкл."));
  consoleOff_ = state->addAction(QStringLiteral("Выкл."));
  for (QAction* a : {consoleOn_, consoleOff_}) {
    a->setCheckable(true);
    group->addAction(a);
  }
  consoleOff_->setChecked(true);
  state->menuAction()->setVisible(false);
  connect(consoleOn_, &QAction::triggered, this, [this] {
    engine_.consolePort().SwitchOn();
    RefreshConsoleState();
  });
  connect(consoleOff_, &QAction::triggered, this, [this] {
    engine_.consolePort().SwitchOff();
    RefreshConsoleState();
  });

  // Top-level captions padded with blanks to the longest one.
  qsizetype longest = 0;
  for (QAction* a : menuBar()->actions()) longest = std::max(longest, a->text().size());
  for (QAction* a : menuBar()->actions()) a->setText(a->text().leftJustified(longest, u' '));
}

void TForm1::BuildPages() {
  pages_ = new QTabWidget(this);

  linePage_ = new LinePage(engine_);
  pages_->addTab(linePage_, QStringLiteral("Линии              "));

  auto* ipPages = new QTabWidget;
  auto* journalPage = new QSplitter(Qt::Vertical);
  journal_ = new JournalView;
  tracePane_ = new TracePane(engine_.trace());
  journalPage->addWidget(journal_);
  journalPage->addWidget(tracePane_);
  journalPage->setStretchFactor(0, 3);
  journalPage->setStretchFactor(1, 2);
  ipPages->addTab(journalPage, QStringLiteral("Журнал    "));
  activeObjects_ = new ActiveObjectsView;
  ipPages->addTab(activeObjects_, QStringLiteral("Активные"));
  pages_->addTab(ipPages, QStringLiteral("IP соединения"));

  modemStates_ = new ModemStateView(engine_.lines());
  pages_->addTab(modemStates_, QStringLiteral("Модемы. Состояния"));

  history_ = new HistoryView(OpenHistorySource(engine_.storeSettings()));
  pages_->addTab(history_, QStringLiteral("История"));
  connect(pages_, &QTabWidget::currentChanged, this, [this] {
    if (pages_->currentWidget() == history_) history_->ShowNewest();
  });

  setCentralWidget(pages_);
}

void TForm1::BuildTray() {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  tray_ = new QSystemTrayIcon(ProgramIcon(), this);
  tray_->setToolTip(QStringLiteral("Quell Server"));
  auto* menu = new QMenu(this);
  connect(menu->addAction(QStringLiteral("Сервер")), &QAction::triggered, this,
          &TForm1::ShowServer);
  tray_->setContextMenu(menu);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r == QSystemTrayIcon::DoubleClick) ShowServer();
  });
  tray_->show();
  // The icon blinks between its normal and its dimmed picture while the
  // gateway runs, so the operator sees it is alive.
  const QIcon frames[2] = {ProgramIcon(), QIcon(ProgramIcon().pixmap(32, QIcon::Disabled))};
  auto* blink = new QTimer(this);
  connect(blink, &QTimer::timeout, tray_, [this, frames, frame = 0]() mutable {
    frame ^= 1;
    tray_->setIcon(frames[frame]);
  });
  blink->start(700);
}

void TForm1::HookEngine() {
  Journal& journal = engine_.journal();
  previousInsert_ = journal.onInsert;
  previousClear_ = journal.onClear;
  journal.onInsert = [this](size_t index, const std::string& text) {
    if (previousInsert_) previousInsert_(index, text);
    journal_->InsertEntry(index, text);
  };
  journal.onClear = [this] {
    if (previousClear_) previousClear_();
    journal_->clear();
  };

  connect(&engine_, &Engine::linesChanged, this, [this] {
    linePage_->Reload();
    RefreshConsoleState();
  });
  connect(&engine_, &Engine::ipModulesChanged, this,
          [this] { activeObjects_->Reload(engine_.ipModules()); });
  connect(&engine_, &Engine::statusChanged, this, &TForm1::RefreshStatus);
  connect(activeObjects_, &ActiveObjectsView::clearJournalRequested, this,
          [this] { engine_.journal().Clear(); });
}

void TForm1::RefreshAll() {
  linePage_->Reload();
  journal_->Reload(engine_.journal());
  activeObjects_->Reload(engine_.ipModules());
  RefreshStatus();
}

void TForm1::RefreshStatus() {
  status_->setText(FromCp1251(engine_.statusText()));
  tracePane_->setVisible(engine_.traceVisible());
  RefreshConsoleState();
}

void TForm1::RefreshConsoleState() {
  (engine_.consolePort().IsOn() ? consoleOn_ : consoleOff_)->setChecked(true);
}

void TForm1::OpenIpModuleDialog() {
  IpModuleDialog dialog(this);
  dialog.SetState(quell::OpenIpModuleDialog(engine_.ipSettings()));
  if (dialog.exec() != QDialog::Accepted) return;
  std::string error;
  if (!ApplyIpModuleDialog(engine_, dialog.State(), &error))
    engine_.prompt().Ask(error, W("Ошибка"), PromptButtons::Ok, PromptIcon::Stop);
}

void TForm1::OpenConsoleDialog() {
  ConsolePort& port = engine_.consolePort();
  SerialPortDialog dialog(SerialPortDialog::Mode::Console, engine_.portChoices(), this);
  dialog.SetValues(ConsoleDialogPreset(engine_.consoleLine(), engine_.consoleSettings(),
                                       port.VirtualPortExists()));
  dialog.exec();
  if (auto input = ConsoleInputFromDialog(dialog.Values(), dialog.Button())) {
    // A conversion error ends the apply; it is reported like any error
    // that escapes a command.
    const std::string error = port.ApplyDialog(*input);
    if (!error.empty())
      for (const std::string& line : EscapedErrorLines(error, nullptr))
        engine_.trace().Append(line);
  }
  RefreshConsoleState();
}

void TForm1::ShowServer() {
  showNormal();
  raise();
  activateWindow();
}

void TForm1::ShutDown() {
  if (finished_) return;
  Finish();
}

bool TForm1::ConfirmClose() {
  QMessageBox box(QMessageBox::Question, QStringLiteral(" Quell Server "),
                  QStringLiteral("Вы действительно хотите закрыть программу"),
                  QMessageBox::Yes | QMessageBox::No, this);
  return box.exec() == QMessageBox::Yes;
}

void TForm1::Finish() {
  finished_ = true;
  engine_.Close();
  if (tray_) tray_->hide();
  QCoreApplication::quit();
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (finished_) {
    event->accept();
    return;
  }
  if (!ConfirmClose()) {
    event->ignore();
    return;
  }
  Finish();
  event->accept();
}

void TForm1::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // Minimized, the window lives in the notification area only; without a
  // tray icon it stays on the task bar so that it can be brought back.
  if (event->type() == QEvent::WindowStateChange && isMinimized() && tray_)
    QTimer::singleShot(0, this, &QWidget::hide);
}

}  // namespace quell
