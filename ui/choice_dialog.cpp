#include "ui/choice_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace quell {
namespace {

QDialogButtonBox* Buttons(QDialog* dialog, const QString& accept, const QString& cancel) {
  auto* buttons = new QDialogButtonBox;
  QPushButton* ok = buttons->addButton(accept, QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("accept"));
  buttons->addButton(cancel, QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancel"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

}  // namespace

ChoiceDialog::ChoiceDialog(const QString& title, const QStringList& choices, const QString& current,
                           QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(title);
  list_ = new QListWidget;
  list_->setObjectName(QStringLiteral("choices"));
  list_->addItems(choices);
  list_->setCurrentRow(int(choices.indexOf(current)));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(Buttons(this, QStringLiteral("Сохранить"), QStringLiteral("Отменить")));
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

int ChoiceDialog::ChosenIndex() const {
  return list_->currentItem() ? list_->currentRow() : -1;
}

QString ChoiceDialog::ChosenText() const {
  return list_->currentItem() ? list_->currentItem()->text() : QString();
}

TextEntryDialog::TextEntryDialog(const Texts& texts, const QString& preset, int maxLength,
                                 QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(texts.title);
  field_ = new QLineEdit(preset);
  field_->setObjectName(QStringLiteral("text"));
  if (maxLength > 0) field_->setMaxLength(maxLength);
  auto* layout = new QVBoxLayout(this);
  if (!texts.prompt.isEmpty()) layout->addWidget(new QLabel(texts.prompt));
  layout->addWidget(field_);
  layout->addWidget(Buttons(this, texts.accept, texts.cancel));
}

QString TextEntryDialog::Text() const {
  return field_->text();
}

}  // namespace quell
