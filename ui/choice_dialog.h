#pragma once
// A small dialog offering a list of texts, preset to the current one, with
// "Отменить" and "Сохранить": the line type, modem type and mode dialogs.
#include <QDialog>

class QLineEdit;
class QListWidget;

namespace quell {

class ChoiceDialog : public QDialog {
  Q_OBJECT

 public:
  ChoiceDialog(const QString& title, const QStringList& choices, const QString& current,
               QWidget* parent = nullptr);
  // Position of the chosen text, -1 when nothing is chosen.
  int ChosenIndex() const;
  QString ChosenText() const;

 private:
  QListWidget* list_;
};

// A dialog with one text field: "Создать новую линию" and the Contact ID
// code. maxLength 0 leaves the length free.
class TextEntryDialog : public QDialog {
  Q_OBJECT

 public:
  struct Texts {
    QString title;
    QString prompt;
    QString accept;
    QString cancel;
  };
  TextEntryDialog(const Texts& texts, const QString& preset, int maxLength,
                  QWidget* parent = nullptr);
  QString Text() const;

 private:
  QLineEdit* field_;
};

}  // namespace quell
