#pragma once
// The configured lines: each line's caption with its state icon, in the
// order of the line list.
#include <QListWidget>

#include "lines/line_list.h"

namespace quell {

class LineListView : public QListWidget {
  Q_OBJECT

 public:
  explicit LineListView(QWidget* parent = nullptr);
  void Reload(const LineList& lines);
  // Position of the selected entry in the line list, -1 when none.
  int SelectedIndex() const { return currentRow(); }
};

}  // namespace quell
