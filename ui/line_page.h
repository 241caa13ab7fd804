#pragma once
// The "Линии" page: the configured lines with their state, the selected
// line's settings with a dialog for each field, and the tool bar that adds,
// moves, removes, starts and stops lines. Every change is an engine command.
#include <QWidget>
#include <vector>

class QAction;

namespace quell {

class Engine;
class LineListView;
class LinePropertyPanel;

class LinePage : public QWidget {
  Q_OBJECT

 public:
  explicit LinePage(Engine& engine, QWidget* parent = nullptr);

  // The list and the selected line shown again from the engine.
  void Reload();

 private:
  int SelectedLine() const;
  void SelectLine(int index);
  void ShowSelectedLine();
  void AddLineCommand();
  void RemoveLineCommand();
  void MoveLineCommand(bool up);
  void ChangeLineType();
  void ChangeLineSerial();
  void ChangeModemType();
  void ChangeLineMode();
  void ChangeContactIdCode();

  Engine& engine_;
  LineListView* list_ = nullptr;
  LinePropertyPanel* properties_ = nullptr;
  std::vector<QAction*> selectionCommands_;  // enabled only with a selection
};

}  // namespace quell
