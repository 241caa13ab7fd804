#include "ui/trace_pane.h"

#include <QCoreApplication>
#include <QScrollBar>
#include <atomic>

#include "core/cp1251.h"

namespace quell {

// Outlives the pane while an observer call is in flight on a worker thread:
// the GUI thread clears target when the pane goes away.
struct TracePane::Relay {
  std::atomic<bool> shown{false};  // a hidden pane is refreshed when shown
  std::atomic<bool> pending{false};
  TracePane* target = nullptr;  // GUI thread only
};

TracePane::TracePane(TraceView& view, QWidget* parent)
    : QPlainTextEdit(parent), view_(view), relay_(std::make_shared<Relay>()) {
  setReadOnly(true);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  relay_->target = this;
  std::shared_ptr<Relay> relay = relay_;
  view_.SetObserver([relay](const std::string&) {
    if (!relay->shown) return;
    if (relay->pending.exchange(true)) return;  // one refresh already scheduled
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    QMetaObject::invokeMethod(
        app,
        [relay] {
          relay->pending = false;
          if (relay->target) relay->target->Reload();
        },
        Qt::QueuedConnection);
  });
}

TracePane::~TracePane() {
  view_.SetObserver(nullptr);
  relay_->target = nullptr;
}

void TracePane::Reload() {
  if (!isVisible()) return;  // refreshed again when shown
  QStringList text;
  for (const std::string& line : view_.Lines()) text << FromCp1251(line);
  setPlainText(text.join(QLatin1Char('\n')));
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TracePane::showEvent(QShowEvent* event) {
  QPlainTextEdit::showEvent(event);
  relay_->shown = true;
  Reload();
}

void TracePane::hideEvent(QHideEvent* event) {
  relay_->shown = false;
  QPlainTextEdit::hideEvent(event);
}

}  // namespace quell
