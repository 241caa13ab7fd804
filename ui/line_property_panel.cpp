#include "ui/line_property_panel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/cp1251.h"

namespace quell {
namespace {

QLineEdit* Field(const char* name) {
  auto* field = new QLineEdit;
  field->setObjectName(QLatin1String(name));
  field->setReadOnly(true);
  return field;
}

QPushButton* ChangeButton(const char* name) {
  auto* button = new QPushButton(QStringLiteral("Изменить"));
  button->setObjectName(QLatin1String(name));
  button->setAutoDefault(false);
  return button;
}

QString Rgb(const std::array<int, 3>& rgb) {
  return QStringLiteral("rgb(%1,%2,%3)").arg(rgb[0]).arg(rgb[1]).arg(rgb[2]);
}

}  // namespace

LinePropertyPanel::LinePropertyPanel(QWidget* parent) : QGroupBox(parent) {
  name_ = Field("name");
  QFont bold = name_->font();
  bold.setBold(true);
  name_->setFont(bold);
  editName_ = new QCheckBox(QStringLiteral("Изменить"));
  editName_->setObjectName(QStringLiteral("editName"));
  type_ = Field("type");
  serial_ = Field("serial");
  modemType_ = Field("modemType");
  mode_ = Field("mode");
  code_ = Field("code");
  changeType_ = ChangeButton("changeType");
  changeSerial_ = ChangeButton("changeSerial");
  changeModemType_ = ChangeButton("changeModemType");
  changeMode_ = ChangeButton("changeMode");
  changeCode_ = ChangeButton("changeCode");

  auto* grid = new QGridLayout;
  const struct {
    const char* caption;
    QLineEdit* field;
    QWidget* control;
  } rows[] = {
      {"Имя линии", name_, editName_},
      {"Тип линии", type_, changeType_},
      {"Последовательный порт Настройки", serial_, changeSerial_},
      {"Тип модема", modemType_, changeModemType_},
      {"XCALL Режим", mode_, changeMode_},
      {"Код Contact ID", code_, changeCode_},
  };
  int row = 0;
  for (const auto& r : rows) {
    grid->addWidget(new QLabel(QString::fromUtf8(r.caption)), row, 0);
    grid->addWidget(r.field, row, 1);
    grid->addWidget(r.control, row, 2);
    ++row;
  }
  grid->setColumnStretch(1, 1);

  signal_ = new QProgressBar;
  signal_->setObjectName(QStringLiteral("signal"));
  signal_->setRange(0, 31);
  signal_->setTextVisible(false);
  signal_->setMaximumHeight(14);
  exchange_ = new QPlainTextEdit;
  exchange_->setObjectName(QStringLiteral("exchange"));
  exchange_->setReadOnly(true);
  exchange_->setLineWrapMode(QPlainTextEdit::NoWrap);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(new QLabel(QStringLiteral("Уровень принимаемого сигнала")));
  layout->addWidget(signal_);
  layout->addWidget(new QLabel(QStringLiteral("Обмен данными")));
  layout->addWidget(exchange_, 1);

  connect(editName_, &QCheckBox::toggled, this, &LinePropertyPanel::SetNameEditable);
  connect(name_, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (!name_->isReadOnly()) Q_EMIT nameEdited(text);
  });
  connect(name_, &QLineEdit::editingFinished, this, [this] {
    if (name_->isReadOnly()) return;
    editName_->setChecked(false);
    Q_EMIT nameCommitted(name_->text());
  });
  connect(changeType_, &QPushButton::clicked, this, &LinePropertyPanel::changeTypeRequested);
  connect(changeSerial_, &QPushButton::clicked, this, &LinePropertyPanel::changeSerialRequested);
  connect(changeModemType_, &QPushButton::clicked, this,
          &LinePropertyPanel::changeModemTypeRequested);
  connect(changeMode_, &QPushButton::clicked, this, &LinePropertyPanel::changeModeRequested);
  connect(changeCode_, &QPushButton::clicked, this, &LinePropertyPanel::changeCodeRequested);
  ShowNone();
}

void LinePropertyPanel::SetNameEditable(bool editable) {
  name_->setReadOnly(!editable);
  if (editable) name_->setFocus();
}

bool LinePropertyPanel::EditingName() const {
  return !name_->isReadOnly();
}

void LinePropertyPanel::Show(const LineViewData& view) {
  setEnabled(true);
  setTitle(FromCp1251(view.title));
  if (!EditingName()) name_->setText(FromCp1251(view.name));
  type_->setText(FromCp1251(view.typeName));
  serial_->setText(FromCp1251(view.serialSettings));
  modemType_->setText(FromCp1251(view.modemType));
  if (!view.modeName.empty()) mode_->setText(FromCp1251(view.modeName));
  code_->setText(FromCp1251(view.contactIdCode));
  for (QWidget* w : std::initializer_list<QWidget*>{mode_, code_, changeMode_, changeCode_})
    w->setEnabled(view.modeControlsEnabled);

  signal_->setVisible(view.signal.visible);
  signal_->setValue(view.signal.level);
  signal_->setStyleSheet(
      QStringLiteral("QProgressBar { background: rgb(0,0,128); border: 1px solid gray; }"
                     "QProgressBar::chunk { background: %1; }")
          .arg(Rgb(view.signal.rgb)));

  QStringList lines;
  for (const std::string& line : view.exchange) lines << FromCp1251(line);
  const QString text = lines.join(QLatin1Char('\n'));
  if (exchange_->toPlainText() != text) exchange_->setPlainText(text);
}

void LinePropertyPanel::ShowNone() {
  editName_->setChecked(false);
  setTitle(QStringLiteral("Настройки "));
  for (QLineEdit* field : {name_, type_, serial_, modemType_, mode_, code_}) field->clear();
  exchange_->clear();
  signal_->setVisible(false);
  setEnabled(false);
}

}  // namespace quell
