#pragma once
// "IP модули": the silence limit of IP modules, keeping events while the
// console does not answer, and which supervision events are generated. The
// widgets only show and collect the state; the engine applies it.
#include <QDialog>

#include "engine/ip_module_dialog.h"

class QCheckBox;
class QRadioButton;
class QSpinBox;

namespace quell {

class IpModuleDialog : public QDialog {
  Q_OBJECT

 public:
  explicit IpModuleDialog(QWidget* parent = nullptr);
  void SetState(const IpModuleDialogState& state);
  IpModuleDialogState State() const;

 private:
  QSpinBox* hours_;
  QSpinBox* minutes_;
  QSpinBox* seconds_;
  QCheckBox* keepEvents_;
  QRadioButton* testSignal_;
  QRadioButton* lossRestore_;
};

}  // namespace quell
