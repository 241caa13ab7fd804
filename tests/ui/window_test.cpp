// The main window on the offscreen platform over a started engine: its pages
// and menus, and line commands driven through the window's own actions and
// dialogs down to the line list file.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "app/tform1.h"
#include "core/config/text_file.h"
#include "core/cp1251.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recording_prompt.h"
#include "ui/choice_dialog.h"
#include "ui/line_list_view.h"
#include "ui/line_property_panel.h"
#include "ui/serial_port_dialog.h"

namespace quell {
namespace {

class QuietSound final : public AlarmSound {
 public:
  void Play() override {}
};

std::string Record(const std::string& name, const std::string& serial = "COM1,9600,8,0,0,0") {
  return name + ";GSM;0;" + serial + ";OFFLINE;KEY_01 KEY_02 KEY_03 KEY_04;SIM800;   ;";
}

// Runs `answer` on the modal dialog that the next action opens.
template <class Dialog>
void AnswerNextDialog(std::function<void(Dialog&)> answer) {
  QTimer::singleShot(0, [answer] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (!dialog) {
      ADD_FAILURE() << "no dialog of the expected kind";
      if (QWidget* other = QApplication::activeModalWidget()) other->close();
      return;
    }
    answer(*dialog);
  });
}

class WindowTest : public ::testing::Test {
 protected:
  void Open(const std::vector<std::string>& records) {
    ASSERT_TRUE(WriteTextLines(Path("ConnectionType.ini"), records));
    const EngineOptions options{dir_.path().toStdString(), PortSettings::AnyFree()};
    engine_ = std::make_unique<Engine>(clock_, prompt_, sound_, options);
    std::string error;
    ASSERT_TRUE(engine_->Start(&error)) << error;
    form_ = std::make_unique<TForm1>(*engine_);
    form_->show();
  }
  std::string Path(const char* name) const {
    return dir_.filePath(QString::fromLatin1(name)).toStdString();
  }
  std::vector<std::string> Saved() const {
    return ReadTextLines(Path("ConnectionType.ini")).value_or(std::vector<std::string>{});
  }
  QAction* Action(const char* text) {
    for (QAction* action : form_->findChildren<QAction*>())
      if (action->text() == QString::fromUtf8(text)) return action;
    ADD_FAILURE() << "no action " << text;
    static QAction none;
    return &none;
  }
  LineListView* List() { return form_->findChild<LineListView*>(); }
  LinePropertyPanel* Panel() { return form_->findChild<LinePropertyPanel*>(); }

  QTemporaryDir dir_;
  test::FakeClock clock_;
  test::RecordingPrompt prompt_;
  QuietSound sound_;
  std::unique_ptr<Engine> engine_;
  std::unique_ptr<TForm1> form_;
};

TEST_F(WindowTest, OpensWithItsPagesMenusAndTheFirstLineShown) {
  Open({Record("North"), Record("South")});
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("Сервер Quell (Ternmark)"));
  QStringList menus;
  for (QAction* menu : form_->menuBar()->actions()) menus << menu->text();
  EXPECT_EQ(menus, (QStringList{QStringLiteral("Файл     "), QStringLiteral("Настройки")}));
  auto* pages = form_->findChild<QTabWidget*>();
  ASSERT_NE(pages, nullptr);
  QStringList tabs;
  for (int i = 0; i < pages->count(); ++i) tabs << pages->tabText(i);
  EXPECT_EQ(tabs,
            (QStringList{QStringLiteral("Линии              "), QStringLiteral("IP соединения"),
                         QStringLiteral("Модемы. Состояния"), QStringLiteral("История")}));
  ASSERT_EQ(List()->count(), 2);
  EXPECT_EQ(List()->currentRow(), 0);
  EXPECT_EQ(Panel()->title(), QStringLiteral("Настройки North"));
}

TEST_F(WindowTest, AddedLineAppearsInTheListAndTheFile) {
  Open({Record("North")});
  AnswerNextDialog<TextEntryDialog>([](TextEntryDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Создать новую линию"));
    dialog.findChild<QLineEdit*>()->setText(QStringLiteral(" Склад "));
    dialog.accept();
  });
  Action("Добавить линию")->trigger();
  ASSERT_EQ(List()->count(), 2);
  EXPECT_EQ(List()->item(1)->text(), QStringLiteral("Склад"));
  EXPECT_EQ(List()->currentRow(), 0);  // the new line is not selected
  const std::vector<std::string> saved = Saved();
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[1].substr(0, 10), W("Склад;GSM;"));
}

TEST_F(WindowTest, RemovingSelectsANeighbourThenDisablesTheLineCommands) {
  Open({Record("North"), Record("South")});
  List()->setCurrentRow(1);
  Action("Удалить линию")->trigger();
  EXPECT_EQ(List()->count(), 1);
  EXPECT_EQ(List()->currentRow(), 0);
  EXPECT_EQ(Panel()->title(), QStringLiteral("Настройки North"));
  Action("Удалить линию")->trigger();
  EXPECT_EQ(List()->count(), 0);
  EXPECT_TRUE(Saved().empty());
  EXPECT_FALSE(Panel()->isEnabled());
  for (const char* command : {"Удалить линию", "Переместить вверх", "Переместить вниз",
                              "Включить линию", "Выключить линию"})
    EXPECT_FALSE(Action(command)->isEnabled()) << command;
  EXPECT_TRUE(Action("Добавить линию")->isEnabled());
}

TEST_F(WindowTest, SerialDialogKeepsAParityCodeWithoutAChoice) {
  // Parity code 3 has no choice in the list: accepting changes the speed only.
  Open({Record("North", "COM1,9600,8,0,1,3")});
  AnswerNextDialog<SerialPortDialog>([](SerialPortDialog& dialog) {
    EXPECT_EQ(dialog.findChild<QComboBox*>(QStringLiteral("parity"))->currentIndex(), -1);
    dialog.findChild<QComboBox*>(QStringLiteral("baudRate"))
        ->setCurrentText(QStringLiteral("19200"));
    dialog.findChild<QPushButton*>(QStringLiteral("exit"))->click();
  });
  Panel()->findChild<QPushButton*>(QStringLiteral("changeSerial"))->click();
  EXPECT_EQ(Saved(), std::vector<std::string>{Record("North", "COM1,19200,8,0,1,3")});
}

TEST_F(WindowTest, TypeDialogChoiceIsStoredAndDisablesTheModeControls) {
  Open({Record("North")});
  AnswerNextDialog<ChoiceDialog>([](ChoiceDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Тип оборудования"));
    dialog.findChild<QListWidget*>()->setCurrentRow(3);  // "Ademco685"
    dialog.accept();
  });
  Panel()->findChild<QPushButton*>(QStringLiteral("changeType"))->click();
  EXPECT_EQ(Saved()[0].substr(0, 12), "North;VORTI;");
  EXPECT_FALSE(Panel()->findChild<QPushButton*>(QStringLiteral("changeCode"))->isEnabled());
  EXPECT_EQ(Panel()->findChild<QLineEdit*>(QStringLiteral("type"))->text(),
            QStringLiteral("Ademco685"));
}

}  // namespace
}  // namespace quell
