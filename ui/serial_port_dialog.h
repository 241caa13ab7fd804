#pragma once
// "Активация последовательного порта": the serial settings of the console
// port, or, with the console-only controls hidden, of an input line.
#include <QDialog>
#include <string>
#include <vector>

#include "ui/serial_port_dialog_model.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quell {

class SerialPortDialog : public QDialog {
  Q_OBJECT

 public:
  // Console: "Активировать" accepts, "Выключить" ends with kAbort, "Выйти"
  // rejects. Line: the console-only controls are hidden and "Выйти" accepts.
  enum class Mode { Console, Line };
  static constexpr int kAbort = 3;

  // portChoices: the port choice list, Windows-1251.
  SerialPortDialog(Mode mode, const std::vector<std::string>& portChoices,
                   QWidget* parent = nullptr);

  void SetValues(const SerialDialogValues& values);
  SerialDialogValues Values() const;
  // The button that closed the dialog (Exit until one is pressed).
  SerialDialogButton Button() const { return button_; }

 private:
  void Close(SerialDialogButton button, int result);

  Mode mode_;
  SerialDialogButton button_ = SerialDialogButton::Exit;
  QComboBox* port_ = nullptr;
  QComboBox* baudRate_ = nullptr;
  QComboBox* dataBits_ = nullptr;
  QComboBox* stopBits_ = nullptr;
  QComboBox* parity_ = nullptr;
  QCheckBox* virtualPort_ = nullptr;
  QLabel* protocolLabel_ = nullptr;
  QComboBox* protocol_ = nullptr;
  QLabel* receiverLabel_ = nullptr;
  QLineEdit* receiver_ = nullptr;
  QPushButton* activate_ = nullptr;
  QPushButton* switchOff_ = nullptr;
  QPushButton* exit_ = nullptr;
};

}  // namespace quell
