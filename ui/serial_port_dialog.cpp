#include "ui/serial_port_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/cp1251.h"

namespace quell {
namespace {

QComboBox* ChoiceBox(const QStringList& choices, bool editable, const char* name) {
  auto* box = new QComboBox;
  box->setObjectName(QLatin1String(name));
  box->setEditable(editable);
  // Typed texts are taken as they stand, not added to the list.
  box->setInsertPolicy(QComboBox::NoInsert);
  box->addItems(choices);
  return box;
}

QStringList Texts(std::initializer_list<const char*> texts) {
  QStringList list;
  for (const char* text : texts) list << QLatin1String(text);
  return list;
}

}  // namespace

SerialPortDialog::SerialPortDialog(Mode mode, const std::vector<std::string>& portChoices,
                                   QWidget* parent)
    : QDialog(parent), mode_(mode) {
  setWindowTitle(QStringLiteral("Активация последовательного порта"));

  QStringList ports;
  for (const std::string& name : portChoices) ports << FromCp1251(name);
  port_ = ChoiceBox(ports, true, "port");
  baudRate_ =
      ChoiceBox(Texts({"600", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"}),
                true, "baudRate");
  dataBits_ = ChoiceBox(Texts({"4", "5", "6", "7", "8"}), true, "dataBits");
  stopBits_ = ChoiceBox(Texts({"1", "1.5", "2"}), false, "stopBits");
  parity_ = ChoiceBox(
      {QStringLiteral("Выключен"), QStringLiteral("Нечетность"), QStringLiteral("Четность")}, false,
      "parity");

  virtualPort_ = new QCheckBox(QStringLiteral("Виртуальный порт"));
  virtualPort_->setObjectName(QStringLiteral("virtualPort"));
  protocol_ =
      ChoiceBox({QStringLiteral("Contact ID"), QStringLiteral("Ademco685")}, false, "protocol");
  receiver_ = new QLineEdit;
  receiver_->setObjectName(QStringLiteral("receiver"));
  receiver_->setMaxLength(int(kReceiverNumberLength));

  auto* group = new QGroupBox(QStringLiteral("Последовательный порт для эмуляции пульта"));
  auto* form = new QFormLayout(group);
  form->addRow(QStringLiteral("Порт"), port_);
  form->addRow(QStringLiteral("Скорость"), baudRate_);
  form->addRow(QStringLiteral("Количество бит"), dataBits_);
  form->addRow(QStringLiteral("Количество стоп-бит"), stopBits_);
  form->addRow(QStringLiteral("Контроль четности"), parity_);
  form->addRow(virtualPort_);
  protocolLabel_ = new QLabel(QStringLiteral("Протокол"));
  form->addRow(protocolLabel_, protocol_);
  receiverLabel_ = new QLabel(QStringLiteral("Приёмник/Линия"));
  form->addRow(receiverLabel_, receiver_);

  activate_ = new QPushButton(QStringLiteral("Активировать"));
  switchOff_ = new QPushButton(QStringLiteral("Выключить"));
  exit_ = new QPushButton(QStringLiteral("Выйти"));
  activate_->setObjectName(QStringLiteral("activate"));
  switchOff_->setObjectName(QStringLiteral("switchOff"));
  exit_->setObjectName(QStringLiteral("exit"));
  // Enter in a field must not pick a button by itself.
  for (QPushButton* b : {activate_, switchOff_, exit_}) b->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(activate_);
  buttons->addWidget(switchOff_);
  buttons->addWidget(exit_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(buttons);

  connect(activate_, &QPushButton::clicked, this,
          [this] { Close(SerialDialogButton::Activate, QDialog::Accepted); });
  connect(switchOff_, &QPushButton::clicked, this,
          [this] { Close(SerialDialogButton::SwitchOff, kAbort); });
  connect(exit_, &QPushButton::clicked, this, [this] {
    Close(SerialDialogButton::Exit, mode_ == Mode::Line ? QDialog::Accepted : QDialog::Rejected);
  });

  const bool console = mode_ == Mode::Console;
  for (QWidget* w :
       std::initializer_list<QWidget*>{virtualPort_, protocolLabel_, protocol_, receiverLabel_,
                                       receiver_, activate_, switchOff_})
    w->setVisible(console);
}

void SerialPortDialog::SetValues(const SerialDialogValues& values) {
  port_->setCurrentText(FromCp1251(values.port));
  baudRate_->setCurrentText(FromCp1251(values.baudRate));
  dataBits_->setCurrentText(FromCp1251(values.dataBits));
  stopBits_->setCurrentIndex(values.stopBitsIndex);
  parity_->setCurrentIndex(values.parityIndex);
  virtualPort_->setChecked(values.virtualPort);
  protocol_->setCurrentIndex(values.protocol == OutputProtocol::Ademco685 ? 1 : 0);
  receiver_->setText(FromCp1251(values.receiverNumber));
}

SerialDialogValues SerialPortDialog::Values() const {
  SerialDialogValues values;
  values.port = ToCp1251(port_->currentText());
  values.baudRate = ToCp1251(baudRate_->currentText());
  values.dataBits = ToCp1251(dataBits_->currentText());
  values.stopBitsIndex = stopBits_->currentIndex();
  values.parityIndex = parity_->currentIndex();
  values.virtualPort = virtualPort_->isChecked();
  values.protocol =
      protocol_->currentIndex() == 1 ? OutputProtocol::Ademco685 : OutputProtocol::ContactId;
  values.receiverNumber = ToCp1251(receiver_->text());
  return values;
}

void SerialPortDialog::Close(SerialDialogButton button, int result) {
  button_ = button;
  done(result);
}

}  // namespace quell
