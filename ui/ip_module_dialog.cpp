#include "ui/ip_module_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quell {

IpModuleDialog::IpModuleDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("IP модули"));
  auto* timer = new QGroupBox(QStringLiteral("Время таймера активности"));
  auto* timerForm = new QFormLayout(timer);
  auto spin = [&](const QString& caption, int max) {
    auto* box = new QSpinBox;
    box->setRange(0, max);
    timerForm->addRow(caption, box);
    return box;
  };
  hours_ = spin(QStringLiteral("Часы"), 99);
  minutes_ = spin(QStringLiteral("Минуты"), 59);
  seconds_ = spin(QStringLiteral("Секунды"), 59);

  auto* messages = new QGroupBox(QStringLiteral("Сообщения"));
  auto* messagesLayout = new QVBoxLayout(messages);
  keepEvents_ = new QCheckBox(QStringLiteral("Сохранять сообщения в автономном режиме"));
  testSignal_ = new QRadioButton(QStringLiteral("Передавать событие: тестовый сигнал"));
  lossRestore_ = new QRadioButton(QStringLiteral("Передавать событие: потеря/восст."));
  messagesLayout->addWidget(keepEvents_);
  messagesLayout->addWidget(testSignal_);
  messagesLayout->addWidget(lossRestore_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(timer);
  layout->addWidget(messages);
  layout->addWidget(buttons);
}

void IpModuleDialog::SetState(const IpModuleDialogState& state) {
  hours_->setValue(state.hours);
  minutes_->setValue(state.minutes);
  seconds_->setValue(state.seconds);
  keepEvents_->setChecked(state.keepEvents);
  testSignal_->setChecked(state.eventChoice == 0);
  lossRestore_->setChecked(state.eventChoice == 1);
}

IpModuleDialogState IpModuleDialog::State() const {
  IpModuleDialogState state;
  state.hours = hours_->value();
  state.minutes = minutes_->value();
  state.seconds = seconds_->value();
  state.keepEvents = keepEvents_->isChecked();
  state.eventChoice = testSignal_->isChecked() ? 0 : lossRestore_->isChecked() ? 1 : -1;
  return state;
}

}  // namespace quell
