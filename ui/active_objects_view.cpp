#include "ui/active_objects_view.h"

#include <QAction>
#include <QHeaderView>

#include "core/cp1251.h"
#include "ui/icons.h"

namespace quell {

ActiveObjectsView::ActiveObjectsView(QWidget* parent) : QTreeWidget(parent) {
  setHeaderLabels({QStringLiteral("Объект"), QStringLiteral("Время"), QStringLiteral("Событие"),
                   QStringLiteral("Приемник"), QStringLiteral("Линия"),
                   QStringLiteral("Состояние")});
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* clear = new QAction(QStringLiteral("Очистить список"), this);
  connect(clear, &QAction::triggered, this, &ActiveObjectsView::clearJournalRequested);
  addAction(clear);
}

void ActiveObjectsView::Reload(const IpModuleList& modules) {
  const auto& rows = modules.Rows();
  // Rows are only ever added, so existing items are updated in place and
  // the operator's selection and scroll position survive a refresh.
  while (topLevelItemCount() > int(rows.size())) delete takeTopLevelItem(topLevelItemCount() - 1);
  for (size_t i = 0; i < rows.size(); ++i) {
    QTreeWidgetItem* item = topLevelItem(int(i));
    if (!item) {
      item = new QTreeWidgetItem;
      addTopLevelItem(item);
    }
    const IpModuleRow& row = rows[i];
    item->setText(0, FromCp1251(row.caption));
    item->setIcon(0, ObjectPicture(row.picture));
    item->setText(1, FromCp1251(row.timeText));
    item->setText(2, FromCp1251(row.event));
    item->setText(3, FromCp1251(row.receiver));
    item->setText(4, FromCp1251(row.line));
    item->setText(5, FromCp1251(row.state));
  }
}

}  // namespace quell
