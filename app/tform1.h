#pragma once
// The main window: the engine's lines, journal, trace view, IP objects and
// modem states on three pages, the menus, the status bar and the
// notification-area icon. All state lives in the engine; the window shows
// it and forwards the operator's commands.
#include <QMainWindow>
#include <functional>
#include <string>
#include <vector>

#include "engine/engine.h"

class QAction;
class QLabel;
class QSystemTrayIcon;
class QTabWidget;

namespace quell {

class ActiveObjectsView;
class JournalView;
class LinePage;
class ModemStateView;
class HistoryView;
class TracePane;

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  explicit TForm1(Engine& engine, QWidget* parent = nullptr);
  ~TForm1() override;

  // Everything shown again from the engine (after start-up).
  void RefreshAll();
  // Shows, restores and raises the window (tray, "Сервер", a second copy).
  void ShowServer();
  // Ends the program as the close does, without asking (termination signals).
  void ShutDown();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void BuildMenus();
  void BuildPages();
  void BuildTray();
  void HookEngine();
  void RefreshStatus();
  void RefreshConsoleState();
  void OpenIpModuleDialog();
  void OpenConsoleDialog();
  bool ConfirmClose();
  void Finish();

  Engine& engine_;
  std::function<void(size_t, const std::string&)> previousInsert_;
  std::function<void()> previousClear_;

  QTabWidget* pages_ = nullptr;
  LinePage* linePage_ = nullptr;
  JournalView* journal_ = nullptr;
  TracePane* tracePane_ = nullptr;
  ActiveObjectsView* activeObjects_ = nullptr;
  ModemStateView* modemStates_ = nullptr;
  HistoryView* history_ = nullptr;
  QLabel* status_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  QAction* consoleOn_ = nullptr;
  QAction* consoleOff_ = nullptr;
  bool finished_ = false;
};

}  // namespace quell
