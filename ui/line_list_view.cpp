#include "ui/line_list_view.h"

#include "core/cp1251.h"
#include "ui/icons.h"

namespace quell {

LineListView::LineListView(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformItemSizes(true);
}

void LineListView::Reload(const LineList& lines) {
  // Updated in place so that the selection survives the two-second refresh.
  while (count() > int(lines.Size())) delete takeItem(count() - 1);
  for (size_t i = 0; i < lines.Size(); ++i) {
    QListWidgetItem* entry = item(int(i));
    if (!entry) {
      entry = new QListWidgetItem;
      addItem(entry);
    }
    const LineEntry& line = lines.At(i);
    const QString caption = FromCp1251(line.Caption);
    if (entry->text() != caption) entry->setText(caption);
    entry->setIcon(StateIcon(line.IconIndex));
  }
  if (!currentItem() && count() > 0) setCurrentRow(0);
}

}  // namespace quell
