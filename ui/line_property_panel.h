#pragma once
// The property panel of the line page: the selected line's name, type,
// serial settings, modem type, mode and Contact ID code, each with its
// "Изменить" control, the received signal level and the data exchange.
// The panel only shows a line and reports the operator's requests.
#include <QGroupBox>

#include "engine/line_commands.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace quell {

class LinePropertyPanel : public QGroupBox {
  Q_OBJECT

 public:
  explicit LinePropertyPanel(QWidget* parent = nullptr);

  void Show(const LineViewData& view);
  // No line selected: the fields are emptied and every control disabled.
  void ShowNone();
  // True while the operator edits the name (the periodic refresh waits).
  bool EditingName() const;

 Q_SIGNALS:
  void nameEdited(const QString& text);     // every change while editable
  void nameCommitted(const QString& text);  // leaving the field
  void changeTypeRequested();
  void changeSerialRequested();
  void changeModemTypeRequested();
  void changeModeRequested();
  void changeCodeRequested();

 private:
  void SetNameEditable(bool editable);

  QLineEdit* name_;
  QCheckBox* editName_;
  QLineEdit* type_;
  QLineEdit* serial_;
  QLineEdit* modemType_;
  QLineEdit* mode_;
  QLineEdit* code_;
  QPushButton* changeType_;
  QPushButton* changeSerial_;
  QPushButton* changeModemType_;
  QPushButton* changeMode_;
  QPushButton* changeCode_;
  QProgressBar* signal_;
  QPlainTextEdit* exchange_;
};

}  // namespace quell
