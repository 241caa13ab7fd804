#pragma once
// The engine's questions and notices as message boxes. Boxes are shown on
// the GUI thread only: a notice asked for from another thread is shown
// later on the GUI thread and answered OK at once; a question asked from
// another thread cannot wait for the operator and is answered Cancel / No.
#include <QPointer>
#include <QWidget>

#include "core/operator_prompt.h"

namespace quell {

class QtPrompt final : public OperatorPrompt {
 public:
  // Boxes are centred on parent when it is set (it may be set later).
  void SetParent(QWidget* parent) { parent_ = parent; }

  PromptAnswer Ask(const std::string& text, const std::string& caption, PromptButtons buttons,
                   PromptIcon icon) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace quell
