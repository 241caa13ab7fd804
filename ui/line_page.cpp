#include "ui/line_page.h"

#include <QAction>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>

#include "core/cp1251.h"
#include "engine/engine.h"
#include "engine/line_commands.h"
#include "ui/choice_dialog.h"
#include "ui/icons.h"
#include "ui/line_list_view.h"
#include "ui/line_property_panel.h"
#include "ui/serial_port_dialog.h"

namespace quell {

LinePage::LinePage(Engine& engine, QWidget* parent) : QWidget(parent), engine_(engine) {
  auto* page = this;
  auto* tools = new QToolBar(page);
  tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  list_ = new LineListView(page);
  properties_ = new LinePropertyPanel(page);
  auto addCommand = [&](const QIcon& icon, const QString& text, bool needsSelection, auto handler) {
    QAction* action = tools->addAction(icon, text);
    action->setToolTip(text);
    action->setStatusTip(text);
    connect(action, &QAction::triggered, this, handler);
    if (needsSelection) selectionCommands_.push_back(action);
  };
  addCommand(CommandIcon(Command::Add), QStringLiteral("Добавить линию"), false,
             &LinePage::AddLineCommand);
  addCommand(CommandIcon(Command::Up), QStringLiteral("Переместить вверх"), true,
             [this] { MoveLineCommand(true); });
  addCommand(CommandIcon(Command::Down), QStringLiteral("Переместить вниз"), true,
             [this] { MoveLineCommand(false); });
  addCommand(CommandIcon(Command::Remove), QStringLiteral("Удалить линию"), true,
             &LinePage::RemoveLineCommand);
  tools->addSeparator();
  // The engine asks the operator's confirmation itself.
  addCommand(StateIcon(4), QStringLiteral("Включить линию"), true, [this] {
    if (SelectedLine() >= 0) engine_.StartLineCommand(size_t(SelectedLine()));
  });
  addCommand(StateIcon(5), QStringLiteral("Выключить линию"), true, [this] {
    if (SelectedLine() >= 0) engine_.StopLineCommand(size_t(SelectedLine()));
  });

  connect(list_, &QListWidget::currentRowChanged, this, &LinePage::ShowSelectedLine);
  connect(properties_, &LinePropertyPanel::nameEdited, this, [this](const QString& text) {
    // The caption follows the typing; the name is stored on leaving the field.
    if (QListWidgetItem* item = list_->currentItem()) item->setText(text);
  });
  connect(properties_, &LinePropertyPanel::nameCommitted, this, [this](const QString& text) {
    if (SelectedLine() >= 0) RenameLine(engine_, size_t(SelectedLine()), ToCp1251(text));
    // A refused name shows the stored one again.
    list_->Reload(engine_.lines());
    ShowSelectedLine();
  });
  connect(properties_, &LinePropertyPanel::changeTypeRequested, this, &LinePage::ChangeLineType);
  connect(properties_, &LinePropertyPanel::changeSerialRequested, this,
          &LinePage::ChangeLineSerial);
  connect(properties_, &LinePropertyPanel::changeModemTypeRequested, this,
          &LinePage::ChangeModemType);
  connect(properties_, &LinePropertyPanel::changeModeRequested, this, &LinePage::ChangeLineMode);
  connect(properties_, &LinePropertyPanel::changeCodeRequested, this,
          &LinePage::ChangeContactIdCode);

  auto* split = new QSplitter(Qt::Horizontal);
  split->addWidget(list_);
  split->addWidget(properties_);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 2);
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(tools);
  layout->addWidget(split, 1);
}

int LinePage::SelectedLine() const {
  const int index = list_->SelectedIndex();
  return index >= 0 && size_t(index) < engine_.lines().Size() ? index : -1;
}

void LinePage::SelectLine(int index) {
  list_->Reload(engine_.lines());
  list_->setCurrentRow(index);
  ShowSelectedLine();
}

void LinePage::ShowSelectedLine() {
  const int index = SelectedLine();
  for (QAction* action : selectionCommands_) action->setEnabled(index >= 0);
  if (index < 0) {
    properties_->ShowNone();
    return;
  }
  properties_->Show(MakeLineView(engine_.lines().At(size_t(index))));
}

void LinePage::AddLineCommand() {
  TextEntryDialog dialog(
      {QStringLiteral("Создать новую линию"), QStringLiteral("Введите  имя линии !"),
       QStringLiteral("Создать"), QStringLiteral("Отменить")},
      QString(), 0, this);
  if (dialog.exec() == QDialog::Accepted) AddLine(engine_, ToCp1251(dialog.Text()));
}

void LinePage::RemoveLineCommand() {
  if (SelectedLine() < 0) return;
  SelectLine(RemoveLine(engine_, size_t(SelectedLine())));
}

void LinePage::MoveLineCommand(bool up) {
  if (SelectedLine() < 0) return;
  const size_t index = size_t(SelectedLine());
  SelectLine(int(up ? MoveLineUp(engine_, index) : MoveLineDown(engine_, index)));
}

void LinePage::ChangeLineType() {
  const int index = SelectedLine();
  if (index < 0) return;
  QStringList names;
  for (const LineTypeChoice& choice : LineTypeChoices()) names << FromCp1251(choice.displayName);
  const TLineGSM& line = *engine_.lines().At(size_t(index)).Line;
  ChoiceDialog dialog(QStringLiteral("Тип оборудования"), names,
                      FromCp1251(LineTypeDisplayName(line.LineType)), this);
  if (dialog.exec() == QDialog::Accepted) SetLineType(engine_, size_t(index), dialog.ChosenIndex());
  ShowSelectedLine();
}

void LinePage::ChangeLineSerial() {
  const int index = SelectedLine();
  if (index < 0) return;
  SerialPortDialog dialog(SerialPortDialog::Mode::Line, engine_.portChoices(), this);
  dialog.SetValues(LineDialogPreset(*engine_.lines().At(size_t(index)).Line));
  if (dialog.exec() == QDialog::Accepted)
    ApplyLineSerialChoice(engine_, size_t(index), LineChoiceFromDialog(dialog.Values()));
  ShowSelectedLine();
}

void LinePage::ChangeModemType() {
  const int index = SelectedLine();
  if (index < 0) return;
  QStringList types;
  for (const std::string& type : engine_.modemTypes()) types << FromCp1251(type);
  ChoiceDialog dialog(QStringLiteral("Тип модема"), types,
                      FromCp1251(engine_.lines().At(size_t(index)).Line->ModemType), this);
  if (dialog.exec() == QDialog::Accepted && dialog.ChosenIndex() >= 0)
    SetModemType(engine_, size_t(index), ToCp1251(dialog.ChosenText()));
  ShowSelectedLine();
}

void LinePage::ChangeLineMode() {
  const int index = SelectedLine();
  if (index < 0) return;
  QStringList modes;
  for (int mode = 0; !LineModeName(mode).empty(); ++mode) modes << FromCp1251(LineModeName(mode));
  ChoiceDialog dialog(QStringLiteral("Тип линии "), modes,
                      FromCp1251(LineModeName(engine_.lines().At(size_t(index)).Line->Mode)), this);
  if (dialog.exec() == QDialog::Accepted) SetLineMode(engine_, size_t(index), dialog.ChosenIndex());
  ShowSelectedLine();
}

void LinePage::ChangeContactIdCode() {
  const int index = SelectedLine();
  if (index < 0) return;
  const LineEntry& entry = engine_.lines().At(size_t(index));
  TextEntryDialog dialog({FromCp1251(entry.Line->LineName) + QStringLiteral("- Код Contact ID"),
                          QString(), QStringLiteral("OK"), QStringLiteral("Cancel")},
                         FromCp1251(entry.Line->KeyCodes[0]), 4, this);
  if (dialog.exec() == QDialog::Accepted)
    SetContactIdCode(engine_, size_t(index), ToCp1251(dialog.Text()));
  ShowSelectedLine();
}

void LinePage::Reload() {
  // The caption being typed is not overwritten by the periodic refresh.
  if (!properties_->EditingName()) list_->Reload(engine_.lines());
  ShowSelectedLine();
}

}  // namespace quell
