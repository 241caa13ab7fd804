#include "ui/qt_prompt.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

#include "core/cp1251.h"

namespace quell {

namespace {

QMessageBox::Icon ToIcon(PromptIcon icon) {
  switch (icon) {
    case PromptIcon::Information:
      return QMessageBox::Information;
    case PromptIcon::Question:
      return QMessageBox::Question;
    case PromptIcon::Warning:
      return QMessageBox::Warning;
    case PromptIcon::Stop:
      return QMessageBox::Critical;
    case PromptIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToButtons(PromptButtons buttons) {
  switch (buttons) {
    case PromptButtons::OkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case PromptButtons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case PromptButtons::Ok:
      break;
  }
  return QMessageBox::Ok;
}

PromptAnswer ToAnswer(int button) {
  switch (button) {
    case QMessageBox::Ok:
      return PromptAnswer::Ok;
    case QMessageBox::Yes:
      return PromptAnswer::Yes;
    case QMessageBox::No:
      return PromptAnswer::No;
    default:
      return PromptAnswer::Cancel;
  }
}

bool OnGuiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

}  // namespace

PromptAnswer QtPrompt::Ask(const std::string& text, const std::string& caption,
                           PromptButtons buttons, PromptIcon icon) {
  const QString body = FromCp1251(text);
  const QString title = FromCp1251(caption);
  if (!OnGuiThread()) {
    if (buttons != PromptButtons::Ok) {
      return buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Cancel;
    }
    if (QCoreApplication* app = QCoreApplication::instance()) {
      QPointer<QWidget> parent = parent_;
      QMetaObject::invokeMethod(
          app,
          [=] {
            QMessageBox box(ToIcon(icon), title, body, QMessageBox::Ok, parent);
            box.exec();
          },
          Qt::QueuedConnection);
    }
    return PromptAnswer::Ok;
  }
  QMessageBox box(ToIcon(icon), title, body, ToButtons(buttons), parent_);
  return ToAnswer(box.exec());
}

}  // namespace quell
