#pragma once
// The "Модемы. Состояния" list: rebuilt only by its context command
// "Обновить", one row per modem line with a known signal level.
#include <QTreeWidget>

#include "lines/line_list.h"

namespace quell {

class ModemStateView : public QTreeWidget {
  Q_OBJECT

 public:
  explicit ModemStateView(const LineList& lines, QWidget* parent = nullptr);
  void Refresh();

 private:
  const LineList& lines_;
};

}  // namespace quell
