#pragma once
// The trace view as the operator sees it: a read-only copy of the lines the
// trace view holds until its next flush. Appends may come from any thread;
// they only schedule one refresh on the GUI thread.
#include <QPlainTextEdit>
#include <memory>

#include "core/trace_view.h"

namespace quell {

class TracePane : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit TracePane(TraceView& view, QWidget* parent = nullptr);
  ~TracePane() override;

  // Copies the view's current lines into the pane.
  void Reload();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  struct Relay;
  TraceView& view_;
  std::shared_ptr<Relay> relay_;
};

}  // namespace quell
